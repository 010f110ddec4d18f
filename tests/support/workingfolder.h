// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh, empty working folder that the process changes into for its lifetime, because the
// tool resolves "./lib/libvarnak_c.so" and "config.ini" against the working folder.
class WorkingFolder
{
public:
    WorkingFolder();
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

    bool isValid() const;
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Links the device simulator in as lib/libvarnak_c.so.
    bool stageSimulator();

private:
    QString m_previous;
    QTemporaryDir m_dir;
    bool m_entered = false;
};
