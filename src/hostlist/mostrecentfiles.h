#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAction;

// The recent-files list shown as numbered entries inside an existing menu: the most recent
// name first, at most MaxFiles of them, kept between runs in an INI file (or, with RegPath
// set, in the user's settings store). A click on an entry reports its name; an entry whose
// file has gone is dropped with a message instead. The list rules live in core/mrulist.
//
// Properties are applied first and the list is read once by Loaded(), as when the component
// is configured by its owner; the list is written when the component is destroyed.
class TMostRecentFiles : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int MaxFiles READ MaxFiles WRITE SetMaxFiles)
    Q_PROPERTY(bool ShowFullPath READ ShowFullPath WRITE SetShowFullPath)
    Q_PROPERTY(QMenu *OwnerMenuItem READ OwnerMenuItem WRITE SetOwnerMenuItem)
    Q_PROPERTY(int MenuPosition READ MenuPosition WRITE SetMenuPosition)
    Q_PROPERTY(QString IniFile READ IniFile WRITE SetIniFile)
    Q_PROPERTY(QString RegPath READ RegPath WRITE SetRegPath)
public:
    // Every menu item the component inserts carries this tag (dynamic property "Tag"); items
    // with any other tag are never touched.
    static constexpr int MruItemTag = 0xBAD1DEA;
    static constexpr auto kTagProperty = "Tag";

    using TMRUMenuEvent = std::function<void(QAction *sender, const QString &filename)>;

    explicit TMostRecentFiles(QObject *owner = nullptr);
    ~TMostRecentFiles() override;

    // The owner has applied the properties: read the list and build the menu.
    void Loaded();

    int MaxFiles() const { return fMaxFiles; }
    void SetMaxFiles(int value);
    bool ShowFullPath() const { return fShowFullPath; }
    void SetShowFullPath(bool value);
    QMenu *OwnerMenuItem() const { return fOwnerMenuItem; }
    void SetOwnerMenuItem(QMenu *menu);
    int MenuPosition() const { return fMenuPosition; }
    void SetMenuPosition(int value) { fMenuPosition = value; }
    QString IniFile() const { return fIniFilename; }
    void SetIniFile(const QString &value);
    QString RegPath() const { return fRegPath; }
    void SetRegPath(const QString &value);

    TMRUMenuEvent OnMenuClick;
    TMRUMenuEvent OnFileNotExist;

    void AddFile(const QString &filename);
    QStringList Files() const { return fFileList; }

    // The file the list is read from and written to (INI storage).
    QString IniFilePath() const;
    // Runs the click on one of the entries, as choosing it in the menu does.
    void MenuItemClick(QAction *sender);

private:
    void LoadFromIniFile();
    void SaveToIniFile() const;
    void LoadFromRegistry();
    void SaveToRegistry() const;
    void LoadList();
    void UpdateMenu();
    void InsertMenuItem(int index, const QString &caption);

    int fMaxFiles = 4;
    int fMenuPosition = 0;
    QPointer<QMenu> fOwnerMenuItem;
    QString fIniFilename;
    QString fRegPath;
    bool fShowFullPath = false;
    QStringList fFileList;
    bool m_loading = true;
    // The named file could not be read: it is kept as it is unless the list changes from
    // what it was after that read. m_unreadSaid names the file last said to be unreadable.
    bool m_unread = false;
    QStringList m_listRead;
    QString m_unreadSaid;
};
