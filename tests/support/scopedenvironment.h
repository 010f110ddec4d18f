// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>

// Sets environment variables for its lifetime and removes them afterwards. The device simulator
// reads its settings when it is loaded, so set them before the main window loads the library.
class ScopedEnvironment
{
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

    void set(const char *name, const QByteArray &value);

private:
    QList<QByteArray> m_names;
};
