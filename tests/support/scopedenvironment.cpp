// SPDX-License-Identifier: MIT
#include "scopedenvironment.h"

#include <QtGlobal>

ScopedEnvironment::~ScopedEnvironment()
{
    for (const QByteArray &name : m_names)
        qunsetenv(name.constData());
}

void ScopedEnvironment::set(const char *name, const QByteArray &value)
{
    qputenv(name, value);
    m_names << name;
}
