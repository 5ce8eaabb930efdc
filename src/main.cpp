#include "application.h"
#include "commandline.h"
#include "hlbeditmemodlg.h"
#include "infomemoform.h"
#include "mainform.h"
#include "selectfiledlg.h"
#include "settingsform.h"
#include "oiform.h"
#include "utlunit.h"

#include <cstdio>

int main(int argc, char **argv)
{
    // --help and --version are answered before any window exists, so they need no display.
    CommandLine commandLine;
    {
        QCoreApplication early(argc, argv);
        early.setApplicationName(QStringLiteral("skylark"));
        commandLine = CommandLine::parse(QCoreApplication::arguments(),
                                         QStringLiteral("Skylark-v") + UtlUnit::GetFileVersionStr(QCoreApplication::applicationFilePath()));
    }
    if (commandLine.action != CommandLine::Action::Run) {
        const bool failed = commandLine.action == CommandLine::Action::Fail;
        std::fputs(commandLine.text.toLocal8Bit().constData(), failed ? stderr : stdout);
        return failed ? 2 : 0;
    }

    TApplication app(argc, argv);

    // The long-lived windows, in this order; each lives until the process ends.
    TMainForm mainForm;
    app.setMainWindow(&mainForm);
    TSelectFileDlg selectFileDlg(&mainForm);
    mainForm.SelectFileDlg = &selectFileDlg;
    TSettingsForm settingsForm(&mainForm);
    TInfoMemoForm infoMemoForm(&mainForm);
    mainForm.InfoMemoForm = &infoMemoForm;
    TOIForm oiForm(&mainForm);
    mainForm.OIForm = &oiForm;
    THLBEditMemoDlg hlbEditMemoDlg(&mainForm);
    mainForm.HLBEditMemoDlg = &hlbEditMemoDlg;
    mainForm.StartHosts = commandLine.hosts;

    mainForm.show();
    return app.exec();
}
