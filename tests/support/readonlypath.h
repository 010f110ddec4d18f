// SPDX-License-Identifier: MIT
#pragma once

#include <QFileDevice>
#include <QString>

// Takes the write permissions off a file or folder for its lifetime and gives them back after,
// so that a temporary folder can still be removed.
class ReadOnlyPath
{
public:
    explicit ReadOnlyPath(const QString &path);
    ~ReadOnlyPath();
    ReadOnlyPath(const ReadOnlyPath &) = delete;
    ReadOnlyPath &operator=(const ReadOnlyPath &) = delete;

    bool isValid() const { return m_valid; }

    // Whether a read-only folder stops this process from creating a file in it. It does not
    // for root (as in CI containers), so tests relying on permissions check this first.
    static bool bindsThisProcess();

private:
    QString m_path;
    QFileDevice::Permissions m_previous;
    bool m_valid = false;
};
