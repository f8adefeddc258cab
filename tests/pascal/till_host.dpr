{ A till program as a Delphi 7 host writes it against Vb_Ykt.pas: every
  function called with the types the unit declares, and every function
  assigned to a procedural type that spells out the calling convention the
  library exports (stdcall, outputs as var AnsiString, the input card number
  by value), so a declaration that drifts from the library fails to compile.
  Compiled, not linked: no Windows units are packaged here. }
program till_host;

{$APPTYPE CONSOLE}

uses
  {$IFNDEF FPC} ShareMem, {$ENDIF}  // first: borlndmm.dll must be loaded before Vb_Ykt.dll
  Vb_Ykt;

type
  TNoArguments = function: Integer; stdcall;
  TReadCard = function(var CardNo: AnsiString): Integer; stdcall;
  TDecCard = function(CardNo: AnsiString; Amount: Integer; var Balance: AnsiString): Integer; stdcall;
  TShowParaForm = function(HostWindow: HWND): Integer; stdcall;

procedure Report(const What: AnsiString; Code: Integer);
begin
  case Code of
    VB_YKT_OK: WriteLn(What, ': ok');
    VB_YKT_CARD_UNUSABLE: WriteLn(What, ': card refused by the card system');
    VB_YKT_FAILED: WriteLn(What, ': failed');
  else
    WriteLn(What, ': result ', Code);
  end;
end;

var
  CardNo, Balance: AnsiString;
  Window: TVbYktWindow;
  Amount: Integer;
  Exist, InitCom, CloseCom: TNoArguments;
  ReadCardNo, ReadCardBeep: TReadCard;
  DecCard: TDecCard;
  ShowParaForm: TShowParaForm;
begin
  Exist := vbYktExist;
  InitCom := vbInitCom;
  CloseCom := vbCloseCom;
  ReadCardNo := vbReadCardNo;
  ReadCardBeep := vbReadCardBeep;
  DecCard := vbDecCard;
  ShowParaForm := vbShowParaForm;

  Report('vbYktExist', vbYktExist);
  Report('vbInitCom', vbInitCom);
  CardNo := '';
  Report('vbReadCardNo', vbReadCardNo(CardNo));
  Report('vbReadCardBeep', vbReadCardBeep(CardNo));
  Amount := 250;
  if vbDecCard(CardNo, Amount, Balance) = VB_YKT_OK then
    WriteLn('card ', CardNo, ', balance ', Balance);
  Report('vbDecCard (literal card number)', vbDecCard('000000012', 0, Balance));
  Report('vbCloseCom', vbCloseCom);
  Window := 0;
  Report('vbShowParaForm', vbShowParaForm(Window));
  Report('through the procedural types', Exist + InitCom + CloseCom + ReadCardNo(CardNo) +
         ReadCardBeep(CardNo) + DecCard(CardNo, Amount, Balance) + ShowParaForm(Window));
end.
