// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/devicearguments.h"

#include <QString>

#include <array>
#include <optional>

// The dispenser's connection as the settings dialog stores it under [com] in config.ini, with the
// rules the dialog and the command line share: which values are offered, how a stored value reads,
// how typed text is checked, and how a connection is shown and handed to openDevice. Plain values
// and functions, no widgets; any thread.
struct ComSettings
{
    // Port 0 is the HID connection, port n the serial device ttyS(n - 1).
    static constexpr int kMinPort = 0;
    static constexpr int kMaxPort = 100;
    // In the order the dialog lists them; a stored rate it does not offer reads as the first.
    static constexpr std::array<int, 3> kBauds = {1200, 9600, 115200};
    static constexpr std::array<char, 4> kBpLetters = {'A', 'B', 'C', 'K'};
    static constexpr char kNoBp = DeviceArguments::kNoBp;
    static constexpr int kDefaultPort = 0;
    static constexpr int kDefaultBaud = 9600;

    int port = kDefaultPort;
    // kNoBp, or one of kBpLetters.
    char bp = kNoBp;
    // One of kBauds.
    int baud = kDefaultBaud;
};

// The [com] group of the file as the dialog loads it: a missing file or key gives the default; a
// port that is not a whole number reads as 0, any other as stored, even outside the offered range;
// a BP port of one offered letter in either case reads as its capital, anything else as none; a
// baud rate the dialog does not offer reads as its first.
ComSettings loadComSettings(const QString &iniPath);

// Writes all three keys, whatever becomes of the others, in the form loadComSettings reads back (no
// BP port as 0). False when any of them could not be written.
bool saveComSettings(const QString &iniPath, const ComSettings &settings);

// Check command-line text. On failure they return nullopt and, when reason is given, set it to a
// sentence naming the text and what is offered, e.g. "4800 不是可选的波特率（1200、9600、115200）",
// for the caller to prefix with the option's name.
// A whole decimal number from kMinPort to kMaxPort.
std::optional<int> parsePort(const QString &text, QString *reason = nullptr);
// One of kBauds, as a whole decimal number.
std::optional<int> parseBaud(const QString &text, QString *reason = nullptr);
// "none" for kNoBp, or one of kBpLetters; both in either case. A letter comes back as its capital.
std::optional<char> parseBp(const QString &text, QString *reason = nullptr);

// The connection for people, e.g. "ttyS1，9600，BP：A" for port 2, or "HID，115200" for port 0
// without a BP port.
QString connectionText(const ComSettings &settings);
QString connectionText(const DeviceArguments::Connection &connection);

// The settings as openDevice's arguments.
DeviceArguments::Connection deviceConnection(const ComSettings &settings);
