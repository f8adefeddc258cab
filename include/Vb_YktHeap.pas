{
  Vb_YktHeap.pas: Vb_Ykt.dll for Delphi 7 to 2007 and C++ Builder hosts that
  do not share their memory manager (no ShareMem, no borlndmm.dll in the
  process). Vb_Ykt.pas explains the library; this unit is its process-heap
  mode.

  In this mode the library keeps its strings on the Windows process heap, so
  the host's own memory manager must never free or resize them. The
  functions therefore take PAnsiChar (inputs) and PPAnsiChar (outputs)
  instead of AnsiString, and the host builds its inputs with VbYktNewString
  and releases every string it was handed with VbYktRelease, exactly as
  vb_ykt_new_string and vb_ykt_release do in Vb_Ykt.h: a block of the
  process heap holding the reference count (4 bytes), the length (4 bytes),
  the characters and a zero byte; the pointer addresses the characters; nil
  is the empty string. Do not use Vb_Ykt.pas and this unit in one program.

  Example, a console program:

    program TillHeap;
    (*$APPTYPE CONSOLE*)
    uses Vb_YktHeap;  // no ShareMem
    var CardNo, Balance: PAnsiChar;
    begin
      CardNo := nil;
      Balance := nil;
      if vbReadCardNo(@CardNo) = VB_YKT_OK then
      begin
        if vbDecCard(CardNo, 250, @Balance) = VB_YKT_OK then
          // deducted: never charge again on it, even when Balance is '0,0'
          WriteLn('card ', CardNo, ', balance ', Balance);
      end;
      VbYktRelease(CardNo);
      VbYktRelease(Balance);
    end.
}
unit Vb_YktHeap;

interface

{$I Vb_Ykt.inc}

type
  PPAnsiChar = ^PAnsiChar;

function vbYktExist: Integer; stdcall;
function vbInitCom: Integer; stdcall;
function vbCloseCom: Integer; stdcall;
// CardNo^ is released and replaced on success, left as it was on 1.
function vbReadCardNo(CardNo: PPAnsiChar): Integer; stdcall;
function vbReadCardBeep(CardNo: PPAnsiChar): Integer; stdcall;
// CardNo: a string from VbYktNewString or from a read, never a literal.
function vbDecCard(CardNo: PAnsiChar; Amount: Integer; Balance: PPAnsiChar): Integer; stdcall;
function vbShowParaForm(HostWindow: HWND): Integer; stdcall;

// A string of the library's layout on the process heap; nil for ''.
function VbYktNewString(const Text: AnsiString): PAnsiChar;
// Drops one reference on Text and frees it with the last one; nil and
// constants are left alone.
procedure VbYktRelease(Text: PAnsiChar);

implementation

function vbYktExist; external VbYktLibrary name 'vbYktExist';
function vbInitCom; external VbYktLibrary name 'vbInitCom';
function vbCloseCom; external VbYktLibrary name 'vbCloseCom';
function vbReadCardNo; external VbYktLibrary name 'vbReadCardNo';
function vbReadCardBeep; external VbYktLibrary name 'vbReadCardBeep';
function vbDecCard; external VbYktLibrary name 'vbDecCard';
function vbShowParaForm; external VbYktLibrary name 'vbShowParaForm';

// Declared here, so that the unit needs no other.
function GetProcessHeap: THandle; stdcall; external 'kernel32.dll' name 'GetProcessHeap';
function HeapAlloc(Heap: THandle; Flags, Bytes: LongWord): Pointer; stdcall;
  external 'kernel32.dll' name 'HeapAlloc';
function HeapFree(Heap: THandle; Flags: LongWord; Block: Pointer): LongBool; stdcall;
  external 'kernel32.dll' name 'HeapFree';
function InterlockedDecrement(var Value: Integer): Integer; stdcall;
  external 'kernel32.dll' name 'InterlockedDecrement';

type
  PHeader = ^THeader;
  THeader = packed record
    RefCount: Integer;
    Length: Integer;
  end;

function VbYktNewString(const Text: AnsiString): PAnsiChar;
var
  Block: PHeader;
begin
  Result := nil;
  if Length(Text) = 0 then Exit;
  Block := HeapAlloc(GetProcessHeap, 0, SizeOf(THeader) + LongWord(Length(Text)) + 1);
  if Block = nil then Exit;
  Block^.RefCount := 1;
  Block^.Length := Length(Text);
  Result := PAnsiChar(Block) + SizeOf(THeader);
  Move(Text[1], Result^, Length(Text));
  Result[Length(Text)] := #0;
end;

procedure VbYktRelease(Text: PAnsiChar);
var
  Block: PHeader;
begin
  if Text = nil then Exit;
  Block := PHeader(Text - SizeOf(THeader));
  if Block^.RefCount < 0 then Exit;  // a constant
  if InterlockedDecrement(Block^.RefCount) = 0 then HeapFree(GetProcessHeap, 0, Block);
end;

end.
