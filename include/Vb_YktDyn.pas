{
  Vb_YktDyn.pas: Vb_Ykt.dll bound at run time, for Delphi 7 to 2007 and C++
  Builder hosts in shared mode (ShareMem first, borlndmm.dll beside the
  program). The functions are those of Vb_Ykt.pas, as variables that
  VbYktLoad fills. A program that uses Vb_Ykt.pas does not start at all when
  Vb_Ykt.dll, irdll.dll or BCIdll.dll is missing (Windows says the DLL is
  missing and ends it); with this unit it starts, and VbYktLoad says what is
  missing, so the till can show it and go on without the card reader.

  VbYktLoad(Folder) loads Folder\Vb_Ykt.dll (the program's own folder when
  Folder is ''), so that Windows takes irdll.dll and BCIdll.dll from that
  folder too; it first checks that borlndmm.dll is loaded, since the library
  chooses its memory manager when it is loaded. On False, VbYktLoadError
  says why, in Chinese, and every function variable is nil. VbYktUnload
  frees the library; loading and freeing it per transaction is supported.

  Example, a console program:

    program TillDyn;
    (*$APPTYPE CONSOLE*)
    uses ShareMem, Vb_YktDyn;  // ShareMem first
    var CardNo, Balance: AnsiString;
    begin
      if not VbYktLoad('') then
        WriteLn(VbYktLoadError)
      else
      begin
        if vbReadCardNo(CardNo) = VB_YKT_OK then
          if vbDecCard(CardNo, 250, Balance) = VB_YKT_OK then
            WriteLn('card ', CardNo, ', balance ', Balance);
        VbYktUnload;
      end;
    end.
}
unit Vb_YktDyn;

{$IFDEF UNICODE}
  {$MESSAGE ERROR 'Vb_YktDyn.pas is for Delphi 7 to 2007: later Delphi versions have another string layout.'}
{$ENDIF}

interface

{$I Vb_Ykt.inc}

type
  TVbYktNoArguments = function: Integer; stdcall;
  TVbYktReadCard = function(var CardNo: AnsiString): Integer; stdcall;
  TVbYktDecCard = function(CardNo: AnsiString; Amount: Integer; var Balance: AnsiString): Integer; stdcall;
  TVbYktShowParaForm = function(HostWindow: HWND): Integer; stdcall;

var
  vbYktExist, vbInitCom, vbCloseCom: TVbYktNoArguments;
  vbReadCardNo, vbReadCardBeep: TVbYktReadCard;
  vbDecCard: TVbYktDecCard;
  vbShowParaForm: TVbYktShowParaForm;
  // Why the last VbYktLoad failed; '' after a load that succeeded.
  VbYktLoadError: AnsiString;

function VbYktLoad(const Folder: AnsiString): Boolean;
procedure VbYktUnload;

implementation

// Declared here, so that the unit needs no other.
function LoadLibraryExA(FileName: PAnsiChar; Reserved: LongWord; Flags: LongWord): LongWord; stdcall;
  external 'kernel32.dll' name 'LoadLibraryExA';
function FreeLibrary(Module: LongWord): LongBool; stdcall; external 'kernel32.dll' name 'FreeLibrary';
function GetProcAddress(Module: LongWord; Name: PAnsiChar): Pointer; stdcall;
  external 'kernel32.dll' name 'GetProcAddress';
function GetModuleHandleA(Name: PAnsiChar): LongWord; stdcall; external 'kernel32.dll' name 'GetModuleHandleA';
function GetModuleFileNameA(Module: LongWord; FileName: PAnsiChar; Size: LongWord): LongWord; stdcall;
  external 'kernel32.dll' name 'GetModuleFileNameA';
function GetLastError: LongWord; stdcall; external 'kernel32.dll' name 'GetLastError';

const
  LOAD_WITH_ALTERED_SEARCH_PATH = $00000008;

var
  Library_: LongWord = 0;

procedure ClearFunctions;
begin
  vbYktExist := nil;
  vbInitCom := nil;
  vbCloseCom := nil;
  vbReadCardNo := nil;
  vbReadCardBeep := nil;
  vbDecCard := nil;
  vbShowParaForm := nil;
end;

function ProgramFolder: AnsiString;
var
  Path: array[0..1023] of AnsiChar;
  Length_, I: Integer;
begin
  Length_ := GetModuleFileNameA(0, Path, SizeOf(Path));
  Result := '';
  if (Length_ <= 0) or (Length_ >= SizeOf(Path)) then Exit;
  I := Length_ - 1;
  while (I >= 0) and (Path[I] <> '\') do Dec(I);
  if I >= 0 then SetString(Result, Path, I);
end;

function VbYktLoad(const Folder: AnsiString): Boolean;
var
  Dir, FileName: AnsiString;
  Missing: AnsiString;

  function Bind(const Name: AnsiString): Pointer;
  begin
    Result := GetProcAddress(Library_, PAnsiChar(Name));
    if Result = nil then Missing := Missing + ' ' + Name;
  end;

begin
  Result := False;
  VbYktUnload;
  if GetModuleHandleA('borlndmm.dll') = 0 then
  begin
    VbYktLoadError := '没有加载 borlndmm.dll：请把 ShareMem 放在工程文件 uses 的最前面，' +
      '并把 borlndmm.dll 放在收银程序目录中。';
    Exit;
  end;
  Dir := Folder;
  if Dir = '' then Dir := ProgramFolder;
  if Dir = '' then
  begin
    VbYktLoadError := '无法确定收银程序所在的目录。';
    Exit;
  end;
  if Dir[Length(Dir)] <> '\' then Dir := Dir + '\';
  FileName := Dir + VbYktLibrary;
  Library_ := LoadLibraryExA(PAnsiChar(FileName), 0, LOAD_WITH_ALTERED_SEARCH_PATH);
  if Library_ = 0 then
  begin
    case GetLastError of
      2, 3: VbYktLoadError := '找不到 ' + FileName + '。';
      126: VbYktLoadError := '无法加载 ' + FileName + '：同一目录中缺少 irdll.dll 或 BCIdll.dll，' +
        '或者缺少它们所需的其他文件。请运行 ykt doctor 检查。';
      193: VbYktLoadError := '无法加载 ' + FileName + '：它或 irdll.dll、BCIdll.dll 不是 32 位的文件。';
    else
      VbYktLoadError := '无法加载 ' + FileName + '。请运行 ykt doctor 检查。';
    end;
    Exit;
  end;
  Missing := '';
  vbYktExist := Bind('vbYktExist');
  vbInitCom := Bind('vbInitCom');
  vbCloseCom := Bind('vbCloseCom');
  vbReadCardNo := Bind('vbReadCardNo');
  vbReadCardBeep := Bind('vbReadCardBeep');
  vbDecCard := Bind('vbDecCard');
  vbShowParaForm := Bind('vbShowParaForm');
  if Missing <> '' then
  begin
    VbYktLoadError := FileName + ' 缺少函数：' + Missing + '。这不是本读卡库的文件。';
    VbYktUnload;
    Exit;
  end;
  VbYktLoadError := '';
  Result := True;
end;

procedure VbYktUnload;
begin
  ClearFunctions;
  if Library_ <> 0 then FreeLibrary(Library_);
  Library_ := 0;
end;

end.
