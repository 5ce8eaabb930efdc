#include "application.h"
#include "hlbeditmemodlg.h"
#include "infomemoform.h"
#include "mainform.h"
#include "oiform.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);

    // The long-lived windows, in this order; each lives until the process ends.
    TMainForm mainForm;
    app.setMainWindow(&mainForm);
    TInfoMemoForm infoMemoForm(&mainForm);
    mainForm.InfoMemoForm = &infoMemoForm;
    TOIForm oiForm(&mainForm);
    mainForm.OIForm = &oiForm;
    THLBEditMemoDlg hlbEditMemoDlg(&mainForm);
    mainForm.HLBEditMemoDlg = &hlbEditMemoDlg;

    mainForm.show();
    return app.exec();
}
