#include "mostrecentfiles.h"

#include "mrulist.h"
#include "profilefile.h"
#include "skylarkerror.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QWidget>

namespace {
bool isOwnItem(const QAction *a)
{
    return a->property(TMostRecentFiles::kTagProperty).toInt() == TMostRecentFiles::MruItemTag;
}
} // namespace

TMostRecentFiles::TMostRecentFiles(QObject *owner)
    : QObject(owner)
{
}

TMostRecentFiles::~TMostRecentFiles()
{
    try {
        if (!fRegPath.isEmpty())
            SaveToRegistry();
        else if (!fIniFilename.isEmpty())
            // Until its file has been named the list stays unwritten: the default place is
            // beside the program, which is not the user's folder.
            SaveToIniFile();
    } catch (const SkylarkError &e) {
        // Nothing to show it in at this point; the old file stays as it was.
        qWarning("%s", qPrintable(e.message()));
    } catch (...) {
    }
}

void TMostRecentFiles::Loaded()
{
    m_loading = false;
    LoadList();
}

void TMostRecentFiles::LoadList()
{
    if (!fRegPath.isEmpty())
        LoadFromRegistry();
    else
        LoadFromIniFile();
}

void TMostRecentFiles::SetMaxFiles(int value)
{
    if (value == fMaxFiles)
        return;
    fMaxFiles = MruList::clampMaxFiles(value);
    UpdateMenu();
}

void TMostRecentFiles::SetShowFullPath(bool value)
{
    if (value == fShowFullPath)
        return;
    fShowFullPath = value;
    UpdateMenu();
}

void TMostRecentFiles::SetOwnerMenuItem(QMenu *menu)
{
    fOwnerMenuItem = menu;
    if (!m_loading)
        UpdateMenu();
}

void TMostRecentFiles::SetIniFile(const QString &value)
{
    fIniFilename = value;
    if (!m_loading && fRegPath.isEmpty())
        LoadFromIniFile();
}

void TMostRecentFiles::SetRegPath(const QString &value)
{
    fRegPath = value;
    if (!m_loading)
        LoadList();
}

QString TMostRecentFiles::IniFilePath() const
{
    return MruList::iniFilePath(fIniFilename, QCoreApplication::applicationFilePath());
}

void TMostRecentFiles::LoadFromIniFile()
{
    const ProfileFile ini(IniFilePath());
    fFileList = MruList::readIni(ini, fMaxFiles);
    m_listRead = fFileList;
    // Only a file that was named is ever written, so only its reading is worth a word.
    m_unread = !ini.readError().isEmpty() && !fIniFilename.isEmpty();
    if (m_unread && m_unreadSaid != ini.fileName()) {
        m_unreadSaid = ini.fileName();
        QTimer::singleShot(0, this, [why = ini.readError()] {
            ErrorDisplay::show(why
                + QStringLiteral("\n\nThe recent-files list starts empty; the file is left as it is unless the "
                                 "list changes."));
        });
    }
    UpdateMenu();
}

void TMostRecentFiles::SaveToIniFile() const
{
    if (m_unread && fFileList == m_listRead)
        return; // a file we could not read is still the user's
    ProfileFile ini(IniFilePath());
    MruList::writeIni(ini, fFileList, fMaxFiles);
    ini.save();
}

// The user's settings store stands in for a key of the user's registry: values "MRU1".. under
// the group RegPath.
void TMostRecentFiles::LoadFromRegistry()
{
    fFileList.clear();
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvid"), QStringLiteral("Skylark"));
    store.beginGroup(fRegPath);
    for (int k = 1; k <= fMaxFiles; ++k) {
        const QString key = QStringLiteral("MRU%1").arg(k);
        if (!store.contains(key))
            break;
        fFileList.append(store.value(key).toString());
    }
    UpdateMenu();
}

void TMostRecentFiles::SaveToRegistry() const
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvid"), QStringLiteral("Skylark"));
    store.beginGroup(fRegPath);
    for (int k = 1; k <= fMaxFiles; ++k)
        store.setValue(QStringLiteral("MRU%1").arg(k), k <= fFileList.size() ? fFileList.at(k - 1) : QString());
    store.endGroup();
    store.sync();
}

void TMostRecentFiles::UpdateMenu()
{
    QMenu *menu = fOwnerMenuItem;
    if (!menu)
        return;
    const QList<QAction *> before = menu->actions();
    for (auto it = before.rbegin(); it != before.rend(); ++it)
        if (isOwnItem(*it)) {
            menu->removeAction(*it);
            // It may be the entry whose click is running right now.
            (*it)->deleteLater();
        }
    if (fFileList.isEmpty())
        return;
    QList<bool> separators;
    for (QAction *a : menu->actions())
        separators.append(a->isSeparator());
    const MruList::MenuPlan plan = MruList::planMenu(separators, fMenuPosition, int(fFileList.size()));
    if (plan.separatorBefore >= 0)
        InsertMenuItem(plan.separatorBefore, QStringLiteral("-"));
    for (int k = 0; k < fFileList.size(); ++k)
        InsertMenuItem(plan.firstEntry + k, MruList::entryCaption(k, fFileList.at(k), fShowFullPath));
    if (plan.separatorAfter >= 0)
        InsertMenuItem(plan.separatorAfter, QStringLiteral("-"));
}

void TMostRecentFiles::InsertMenuItem(int index, const QString &caption)
{
    QMenu *menu = fOwnerMenuItem;
    auto *item = new QAction(menu);
    item->setProperty(kTagProperty, MruItemTag);
    if (caption == QStringLiteral("-")) {
        item->setSeparator(true);
    } else {
        item->setText(caption);
        connect(item, &QAction::triggered, this, [this, item] { runGuarded([this, item] { MenuItemClick(item); }); });
    }
    const QList<QAction *> items = menu->actions();
    menu->insertAction(index < items.size() ? items.at(index) : nullptr, item);
}

void TMostRecentFiles::AddFile(const QString &filename)
{
    if (!fOwnerMenuItem)
        return;
    bool changed = false;
    fFileList = MruList::addFile(fFileList, filename, fMaxFiles, &changed);
    if (changed)
        UpdateMenu();
}

void TMostRecentFiles::MenuItemClick(QAction *sender)
{
    auto *menu = sender ? qobject_cast<QMenu *>(sender->parent()) : nullptr;
    if (!menu || !OnMenuClick)
        return;
    const QList<QAction *> items = menu->actions();
    int first = -1;
    for (int i = 0; i < items.size() && first < 0; ++i)
        if (isOwnItem(items.at(i)))
            first = i;
    if (first < 0)
        return;
    const int k = MruList::clickedIndex(
        int(items.indexOf(sender)), first, items.at(first)->isSeparator(), int(fFileList.size()));
    if (k < 0)
        return;
    const QString name = fFileList.at(k);
    if (!QFileInfo::exists(name)) {
        if (OnFileNotExist) {
            OnFileNotExist(sender, name);
        } else {
            auto *ownerWidget = qobject_cast<QWidget *>(parent());
            QMessageBox box(QMessageBox::Information, QGuiApplication::applicationDisplayName(),
                QStringLiteral("The file ...\n\"%1\"\nno longer exists.").arg(name), QMessageBox::Ok,
                ownerWidget && ownerWidget->isWindow() ? ownerWidget : nullptr);
            box.setObjectName(QStringLiteral("MruFileNotExistBox"));
            box.exec();
        }
        // The box ran an event loop: take the name, not the position it had.
        fFileList.removeOne(name);
        UpdateMenu();
        return;
    }
    if (k > 0) {
        fFileList.move(k, 0);
        UpdateMenu();
    }
    OnMenuClick(sender, name);
}
