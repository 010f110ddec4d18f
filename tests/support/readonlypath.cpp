// SPDX-License-Identifier: MIT
#include "readonlypath.h"

#include <QFile>
#include <QTemporaryDir>

namespace {
const QFileDevice::Permissions kWrite = QFileDevice::WriteOwner | QFileDevice::WriteUser
    | QFileDevice::WriteGroup | QFileDevice::WriteOther;
}

ReadOnlyPath::ReadOnlyPath(const QString &path)
    : m_path(path)
    , m_previous(QFile::permissions(path))
{
    m_valid = QFile::exists(path) && QFile::setPermissions(path, m_previous & ~kWrite);
}

ReadOnlyPath::~ReadOnlyPath()
{
    if (m_valid)
        QFile::setPermissions(m_path, m_previous);
}

bool ReadOnlyPath::bindsThisProcess()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return false;
    const ReadOnlyPath readOnly(dir.path());
    if (!readOnly.isValid())
        return false;
    QFile probe(dir.filePath(QStringLiteral("probe")));
    const bool created = probe.open(QIODevice::WriteOnly);
    if (created)
        probe.remove();
    return !created;
}
