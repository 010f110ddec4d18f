// SPDX-License-Identifier: MIT
#include "workingfolder.h"

#include <QDir>
#include <QFile>

WorkingFolder::WorkingFolder()
    : m_previous(QDir::currentPath())
{
    m_entered = m_dir.isValid() && QDir::setCurrent(m_dir.path());
}

WorkingFolder::~WorkingFolder()
{
    QDir::setCurrent(m_previous);
}

bool WorkingFolder::isValid() const
{
    return m_entered;
}

bool WorkingFolder::stageSimulator()
{
    return QDir(m_dir.path()).mkpath("lib")
        && QFile::link(SIM_LIBRARY_PATH, m_dir.filePath("lib/libvarnak_c.so"));
}
