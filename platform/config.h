#ifndef CONFIG_H
#define CONFIG_H

#include <QMap>
#include <QString>
#include <QStringList>

// The handheld's settings store: groups of key = value entries in a text file,
// read when the store is opened and written back when it is destroyed, if
// anything changed.
//
// The file keeps the handheld's syntax, so files move freely between the two:
//
//     [score]
//     P0 = Ada Marvel
//
// A value that the plain syntax cannot carry (a line break, a control character,
// a space at either end) is written with backslash escapes; every other value is
// written exactly as the handheld wrote it. Bytes that are not UTF-8 are read
// and written back as they were.
class Config
{
public:
    // File: the name is a path. User: the name of a per-user settings file,
    // <per-user config folder>/<application name>/<name>.conf.
    enum Domain { File, User };

    explicit Config(const QString& name, Domain domain = User);
    virtual ~Config();

    // A per-user folder by the XDG base directory rules: the variable's value,
    // unless relative or empty, or else home's folder below it; without HOME
    // the password database knows where home is. The settings' folder is
    // userFolder("XDG_CONFIG_HOME", ".config").
    static QString userFolder(const char* variable, const QString& belowHome);
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

    QString fileName() const { return path; }
    // The file was there and held something, or could not be read at all.
    bool foundFile() const { return found; }

    void setGroup(const QString& group);
    bool hasKey(const QString& key) const;
    QString readEntry(const QString& key, const QString& deflt = QString()) const;
    // A missing or empty entry gives deflt; an entry that is not a whole number
    // in the range of int gives 0.
    int readNumEntry(const QString& key, int deflt = -1) const;
    void clearGroup();
    void writeEntry(const QString& key, const QString& value);
    void writeEntry(const QString& key, int num);

    QStringList groupList() const { return groups.keys(); }
    QStringList keyList() const { return groups.value(current).keys(); }

    // Writes the file now if anything changed; false, with one warning line
    // saying why, when it could not. The old file stays whole either way.
    bool write();
    // Why the last write failed; empty after one that succeeded.
    QString writeError() const { return failure; }
    // Moves the file out of the way (to <file>.unreadable, or .unreadable.2 and
    // so on, never over an earlier one) and empties the store. Returns the name
    // it is kept under; when it cannot be moved, an empty string, and the store
    // never writes over it.
    QString setAside();
    // Keeps a copy of the file under the name setAside() would give it, and
    // returns that name; an empty string when it cannot.
    QString copyAside() const;

protected:
    // A write that could not be done: why, said once on standard error.
    bool failed(const QString& reason);

private:
    void read();
    QString asideName() const;

    QString path;
    Domain domain;
    QMap<QString, QMap<QString, QString>> groups;
    QString current;
    bool changed = false;
    bool found = false;
    bool frozen = false;
    QString failure;
};

#endif
