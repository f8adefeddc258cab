{
  Vb_Ykt.pas: import unit of Vb_Ykt.dll for Delphi 7 to 2007 and C++ Builder
  hosts. Vb_Ykt.dll identifies card holders and charges their contactless
  one-card (yikatong) cards through a serial card reader.

  Seven stdcall functions, imported by name. Every card operation reads the
  settings from HKEY_LOCAL_MACHINE\SOFTWARE\Velbrook\Lib, opens the reader,
  does its work and closes the reader before it returns: no function needs
  another to be called first. Texts are in code page 936.

  Strings and memory managers
  ---------------------------
  The card numbers and balances cross the boundary as the host's own long
  strings (AnsiString): outputs are var parameters, the library releases what
  the variable held and stores a fresh string in it. Which memory manager
  owns those strings is decided once, when Vb_Ykt.dll is loaded:

  - Shared mode (the usual one for Delphi and C++ Builder): put ShareMem
    FIRST in the uses clause of the project file (.dpr), before Forms and
    every other unit, and ship borlndmm.dll beside the program. ShareMem
    loads borlndmm.dll when the program starts, so it is already loaded
    when Vb_Ykt.dll is; the library then takes its strings from and returns
    them to borlndmm.dll, and the program frees them like its own strings.
    C++ Builder: tick "Use dynamic RTL" or add memmgr.lib, so borlndmm.dll
    is loaded first. A program that loads Vb_Ykt.dll with LoadLibrary must
    have borlndmm.dll loaded before that call: Vb_YktDyn.pas binds the
    library at run time and checks that.

  - Process-heap mode: no borlndmm.dll in the process. The library's
    strings then live on the Windows process heap, and the host's own
    memory manager must never free or resize them: do not use the var
    parameters of this unit in that mode (a program without ShareMem would
    free a process-heap block with its own memory manager). Hosts without
    ShareMem use Vb_YktHeap.pas instead: the same functions with PAnsiChar
    and PPAnsiChar parameters, and VbYktNewString and VbYktRelease, which
    build and release the strings on the process heap as Vb_Ykt.h does.

  Result codes: VB_YKT_OK (0) success, VB_YKT_FAILED (1) failure,
  VB_YKT_CARD_UNUSABLE (-1) the card was read but the card system reports it
  as not usable (card-number reads only).

  Example (shared mode), a console program:

    program Till;
    (*$APPTYPE CONSOLE*)
    uses ShareMem, Vb_Ykt;  // ShareMem first
    var CardNo, Balance: AnsiString;
    begin
      if vbReadCardNo(CardNo) = VB_YKT_OK then
        if vbDecCard(CardNo, 250, Balance) = VB_YKT_OK then
          // deducted: never charge again on it, even when Balance is '0,0'
          WriteLn('card ', CardNo, ', balance ', Balance);  // for example '97.50,1'
    end.
}
unit Vb_Ykt;

{$IFDEF UNICODE}
  {$MESSAGE ERROR 'Vb_Ykt.pas is for Delphi 7 to 2007: later Delphi versions have another string layout.'}
{$ENDIF}

interface

{$I Vb_Ykt.inc}

type
  // The host's main window: pass Application.Handle or the main form's
  // Handle (C++ Builder: Handle, without a cast).
  TVbYktWindow = HWND;

// Presence probe: returns 0 and does nothing else.
function vbYktExist: Integer; stdcall;
// Opens and closes the reader with the stored settings: 0 when the stored
// key has 24 characters and opening and closing raised no error (whether
// the reader answers shows only in a read), else 1.
function vbInitCom: Integer; stdcall;
// Returns 0; every operation closes the reader itself.
function vbCloseCom: Integer; stdcall;
// Reads the card on the reader without a beep: 10 digits of the serial
// number or 9 of the card code (setting YKT_CODEORNO). 0, -1 or 1; CardNo is
// left as it was on 1.
function vbReadCardNo(var CardNo: AnsiString): Integer; stdcall;
// As vbReadCardNo, with the reader's beep.
function vbReadCardBeep(var CardNo: AnsiString): Integer; stdcall;
// Deducts Amount from the card's purse and returns the new balance as
// 'units.hundredths,n' (for example '3.45,7'), or '0,0' when it could not be
// read. 0 means deducted (also with '0,0': never charge again on it).
// In serial-number mode pass the 10 digits vbReadCardNo gave: a card with
// another serial number on the reader is not charged (result 1, '0,0').
function vbDecCard(CardNo: AnsiString; Amount: Integer; var Balance: AnsiString): Integer; stdcall;
// Shows the settings dialog modally over HostWindow; returns 0 when it
// closes, whether or not anything was saved.
function vbShowParaForm(HostWindow: HWND): Integer; stdcall;

implementation

function vbYktExist; external VbYktLibrary name 'vbYktExist';
function vbInitCom; external VbYktLibrary name 'vbInitCom';
function vbCloseCom; external VbYktLibrary name 'vbCloseCom';
function vbReadCardNo; external VbYktLibrary name 'vbReadCardNo';
function vbReadCardBeep; external VbYktLibrary name 'vbReadCardBeep';
function vbDecCard; external VbYktLibrary name 'vbDecCard';
function vbShowParaForm; external VbYktLibrary name 'vbShowParaForm';

end.
