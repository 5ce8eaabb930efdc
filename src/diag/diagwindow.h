#pragma once

class QWidget;

// Places a diagnostics window beside the main window (see DiagWindowPlace) and shows it,
// not modal.
void ShowDiagWindow(QWidget *mainWindow, QWidget *window);
