#include "application.h"
#include "hlbeditmemodlg.h"
#include "mainform.h"
#include "selectfiledlg.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);

    // The long-lived windows, in this order; each lives until the process ends.
    TMainForm mainForm;
    app.setMainWindow(&mainForm);
    TSelectFileDlg selectFileDlg(&mainForm);
    mainForm.SelectFileDlg = &selectFileDlg;
    THLBEditMemoDlg hlbEditMemoDlg(&mainForm);
    mainForm.HLBEditMemoDlg = &hlbEditMemoDlg;

    mainForm.show();
    return app.exec();
}
