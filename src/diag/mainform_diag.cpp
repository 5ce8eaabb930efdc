// The main window's diagnostics commands: the info memo and the object inspector window.
#include "mainform.h"

#include "diagwindow.h"
#include "infomemoform.h"
#include "oiform.h"

void TMainForm::aInfoMemoExecute()
{
    ShowDiagWindow(this, InfoMemoForm);
}

void TMainForm::aOIFormExecute()
{
    ShowDiagWindow(this, OIForm);
}
