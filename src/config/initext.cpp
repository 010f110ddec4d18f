// SPDX-License-Identifier: MIT
#include "config/initext.h"

#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringEncoder>

#include <iterator>
#include <utility>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const QByteArrayView kByteOrderMark("\xef\xbb\xbf");

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isSpecial(char c)
{
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

bool isHexDigit(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

struct Line
{
    qsizetype start = 0;
    qsizetype length = 0;
    qsizetype equals = -1;
};

// One logical line from pos. A line break inside quotes or after a backslash does not end it, a
// semicolon outside quotes does, and a line that starts with a semicolon is a comment and skipped.
bool readLine(QByteArrayView data, qsizetype &pos, Line &line)
{
    const qsizetype size = data.size();
    bool inQuotes = false;
    line.equals = -1;
    line.start = pos;
    while (line.start < size && isSpace(data[line.start]))
        ++line.start;

    qsizetype i = line.start;
    while (i < size) {
        const char ch = data[i++];
        if (!isSpecial(ch))
            continue;
        if (ch == '=') {
            if (!inQuotes && line.equals == -1)
                line.equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == line.start + 1) {
                ++line.start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char next = data[i++];
                if (i < size) {
                    const char after = data[i];
                    if ((next == '\n' && after == '\r') || (next == '\r' && after == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else if (i == line.start + 1) { // a semicolon starting the line
            while (i < size && data[i] != '\n' && data[i] != '\r')
                ++i;
            while (i < size && isSpace(data[i]))
                ++i;
            line.start = i;
        } else if (!inQuotes) {
            --i;
            break;
        }
    }
    pos = i;
    line.length = i - line.start;
    return line.length > 0;
}

// A key or section name: a backslash stands for a slash, %XX and %UXXXX for any character.
QString unescapedKey(QByteArrayView bytes)
{
    const QString decoded = QString::fromUtf8(bytes);
    const qsizetype size = decoded.size();
    QString key;
    key.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        const QChar ch = decoded[i];
        if (ch == u'\\') {
            key += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == size - 1) {
            key += ch;
            ++i;
            continue;
        }
        qsizetype firstDigit = i + 1;
        qsizetype digits = 2;
        if (decoded[firstDigit] == u'U') {
            ++firstDigit;
            digits = 4;
        }
        bool ok = false;
        const ushort code = firstDigit + digits > size
            ? 0
            : QStringView(decoded).sliced(firstDigit, digits).toUShort(&ok, 16);
        if (!ok) {
            key += u'%';
            ++i;
            continue;
        }
        key += QChar(code);
        i = firstDigit + digits;
    }
    return key;
}

// The character that a backslash and c stand for, or 0 when c starts no such escape.
char simpleEscape(char c)
{
    switch (c) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return c;
    default:
        return 0;
    }
}

void chopTrailingBlanks(QString &text, qsizetype limit)
{
    while (text.size() > limit && (text.back() == u' ' || text.back() == u'\t'))
        text.chop(1);
}

// A value's text with its quotes and escapes resolved. Commas outside quotes make it a list,
// returned in list with true; otherwise the text is in text. Blanks around an unquoted value do
// not count, nor do those around the elements of a list.
bool unescapedValue(QByteArrayView bytes, QString &text, QStringList &list)
{
    enum class State { SkipBlanks, Normal, Hex, Octal, End };
    QStringDecoder fromUtf8(QStringDecoder::Utf8);
    const qsizetype size = bytes.size();
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    char32_t escaped = 0;
    qsizetype chopLimit = 0;
    qsizetype i = 0;
    State state = State::SkipBlanks;

    while (state != State::End) {
        switch (state) {
        case State::SkipBlanks:
            while (i < size && isBlank(bytes[i]))
                ++i;
            state = State::Normal;
            chopLimit = text.size();
            break;
        case State::Hex:
        case State::Octal: {
            const bool hex = state == State::Hex;
            const char ch = i < size ? bytes[i] : '\0';
            if (i < size && (hex ? isHexDigit(char32_t(ch)) : (ch >= '0' && ch <= '7'))) {
                escaped = hex ? (escaped << 4) + char32_t(hexValue(ch))
                              : (escaped << 3) + char32_t(ch - '0');
                ++i;
                break;
            }
            // Only the low 16 bits of a long escape count, as QSettings reads it.
            text += QChar(ushort(escaped & 0xffff));
            state = i < size ? State::Normal : State::End;
            chopLimit = text.size();
            break;
        }
        case State::Normal:
            if (i >= size) {
                if (!quoted)
                    chopTrailingBlanks(text, chopLimit);
                state = State::End;
                break;
            }
            switch (bytes[i]) {
            case '\\': {
                if (++i >= size) {
                    state = State::End;
                    break;
                }
                const char ch = bytes[i++];
                const char simple = simpleEscape(ch);
                if (simple != 0) {
                    text += QLatin1Char(simple);
                    chopLimit = text.size();
                } else if (ch == 'x') {
                    escaped = 0;
                    if (i >= size)
                        state = State::End;
                    else if (isHexDigit(char32_t(bytes[i])))
                        state = State::Hex;
                    else
                        chopLimit = text.size();
                } else if (ch >= '0' && ch <= '7') {
                    escaped = char32_t(ch - '0');
                    state = State::Octal;
                } else {
                    // A line break after a backslash joins the lines; any other character after
                    // a backslash is dropped with it.
                    if ((ch == '\n' || ch == '\r') && i < size) {
                        const char next = bytes[i];
                        if ((next == '\n' || next == '\r') && next != ch)
                            ++i;
                    }
                    chopLimit = text.size();
                }
                break;
            }
            case '"':
                ++i;
                quoted = true;
                inQuotes = !inQuotes;
                if (!inQuotes)
                    state = State::SkipBlanks;
                break;
            case ',':
                if (!inQuotes) {
                    if (!quoted)
                        chopTrailingBlanks(text, chopLimit);
                    if (!isList) {
                        isList = true;
                        list.clear();
                    }
                    list.append(text);
                    text.clear();
                    quoted = false;
                    ++i;
                    state = State::SkipBlanks;
                    break;
                }
                Q_FALLTHROUGH();
            default: {
                qsizetype j = i + 1;
                while (j < size && bytes[j] != '\\' && bytes[j] != '"' && bytes[j] != ',')
                    ++j;
                text += fromUtf8(bytes.sliced(i, j - i));
                i = j;
                break;
            }
            }
            break;
        case State::End:
            break;
        }
    }
    if (isList)
        list.append(text);
    return isList;
}

// How many arguments QSettings finds in "@Rect(1 2 3 4)" and its kind, counted from the paren.
qsizetype argumentCount(const QString &value, qsizetype paren)
{
    qsizetype count = 0;
    for (qsizetype i = paren + 1; i < value.size(); ++i) {
        if (value[i] == u')' || value[i] == u' ')
            ++count;
    }
    return count;
}

bool isStreamedText(const QString &value)
{
    return value.endsWith(u')')
        && (value.startsWith(QLatin1String("@Variant("))
            || value.startsWith(QLatin1String("@DateTime(")));
}

// What QVariant::toString gives for the value QSettings makes of a single text.
QString plainText(const QString &value)
{
    if (!value.startsWith(u'@'))
        return value;
    if (value.endsWith(u')')) {
        if (value.startsWith(QLatin1String("@ByteArray(")))
            return QString::fromUtf8(QStringView(value).sliced(11).chopped(1).toLatin1());
        if (value.startsWith(QLatin1String("@String(")))
            return value.sliced(8).chopped(1);
        if (isStreamedText(value) || value == QLatin1String("@Invalid()"))
            return QString();
        // A rectangle, size or point has no text.
        if ((value.startsWith(QLatin1String("@Rect(")) && argumentCount(value, 5) == 4)
            || (value.startsWith(QLatin1String("@Size(")) && argumentCount(value, 5) == 2)
            || (value.startsWith(QLatin1String("@Point(")) && argumentCount(value, 6) == 2)) {
            return QString();
        }
    }
    return value.startsWith(QLatin1String("@@")) ? value.sliced(1) : value;
}

QString normalizedKey(const QString &key)
{
    QString result;
    result.reserve(key.size());
    for (const QChar ch : key) {
        if (ch != u'/' || (!result.isEmpty() && result.back() != u'/'))
            result += ch;
    }
    if (result.endsWith(u'/'))
        result.chop(1);
    return result;
}

QByteArray escapedKey(const QString &key)
{
    QByteArray escaped;
    for (const QChar qch : key) {
        const char16_t ch = qch.unicode();
        if (ch == u'/') {
            escaped += '\\';
        } else if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z')
            || (ch >= u'0' && ch <= u'9') || ch == u'_' || ch == u'-' || ch == u'.') {
            escaped += char(ch);
        } else if (ch <= 0xff) {
            escaped += '%';
            escaped += kHexDigits[ch / 16];
            escaped += kHexDigits[ch % 16];
        } else {
            escaped += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                escaped += kHexDigits[(ch >> shift) & 0xf];
        }
    }
    return escaped;
}

QByteArray escapedSection(const QString &section)
{
    const QByteArray name = escapedKey(section);
    if (name.isEmpty())
        return "[General]";
    // "[General]" means no section at all, whatever its case.
    if (name.compare("general", Qt::CaseInsensitive) == 0)
        return "[%" + name + ']';
    return '[' + name + ']';
}

// A value's text as QSettings writes it: quoted when it holds a separator or starts or ends with
// a blank, control characters escaped, and a digit after a numeric escape escaped too, so that it
// does not become part of it. The typed forms whose bytes are Latin-1 escape everything beyond
// ASCII; so does any half of a surrogate pair without its other half, which UTF-8 cannot carry.
QByteArray encodedString(const QString &value)
{
    const bool utf8 = !value.startsWith(QLatin1String("@ByteArray("))
        && !value.startsWith(QLatin1String("@Variant("))
        && !value.startsWith(QLatin1String("@DateTime("));
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    QByteArray escaped;
    bool needsQuotes = false;
    bool escapeNextHexDigit = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar qch = value[i];
        const char16_t ch = qch.unicode();
        if (ch == u';' || ch == u',' || ch == u'=')
            needsQuotes = true;
        if (escapeNextHexDigit && isHexDigit(ch)) {
            escaped += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextHexDigit = false;
        switch (ch) {
        case u'\0':
            escaped += "\\0";
            escapeNextHexDigit = true;
            break;
        case u'\a':
            escaped += "\\a";
            break;
        case u'\b':
            escaped += "\\b";
            break;
        case u'\f':
            escaped += "\\f";
            break;
        case u'\n':
            escaped += "\\n";
            break;
        case u'\r':
            escaped += "\\r";
            break;
        case u'\t':
            escaped += "\\t";
            break;
        case u'\v':
            escaped += "\\v";
            break;
        case u'"':
        case u'\\':
            escaped += '\\';
            escaped += char(ch);
            break;
        default: {
            const bool pair
                = qch.isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate();
            if (ch <= 0x1f || (!utf8 && ch >= 0x7f) || (qch.isSurrogate() && !pair)) {
                escaped += "\\x" + QByteArray::number(ch, 16);
                escapeNextHexDigit = true;
            } else {
                escaped += toUtf8(QStringView(value).sliced(i, pair ? 2 : 1));
                i += pair ? 1 : 0;
            }
        }
        }
    }
    if (needsQuotes || escaped.startsWith(' ') || escaped.endsWith(' '))
        escaped = '"' + escaped + '"';
    return escaped;
}

// A string set by the tool: a text holding NUL or starting with @ goes in a form that cannot be
// taken for a typed value.
QByteArray escapedText(const QString &text)
{
    if (text.contains(QChar::Null))
        return encodedString(QLatin1String("@String(") + text + u')');
    return encodedString(text.startsWith(u'@') ? u'@' + text : text);
}

bool isLineBreak(char c)
{
    return c == '\n' || c == '\r';
}

} // namespace

IniText::IniText(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
    parse();
}

QStringList IniText::keys() const
{
    return m_entries.keys();
}

std::optional<QString> IniText::text(const QString &key) const
{
    const auto entry = m_entries.constFind(key);
    if (entry == m_entries.cend())
        return std::nullopt;
    return entry->text;
}

bool IniText::isStreamed(const QString &key) const
{
    return m_entries.value(key).streamed;
}

bool IniText::setValue(const QString &key, const QString &value)
{
    return setEncoded(key, escapedText(value), value);
}

bool IniText::setValue(const QString &key, int value)
{
    const QByteArray digits = QByteArray::number(value);
    return setEncoded(key, digits, QString::fromLatin1(digits));
}

QString IniText::fullKey(const QString &group, const QString &key)
{
    const QString prefix = normalizedKey(group);
    const QString name = normalizedKey(key);
    return prefix.isEmpty() ? name : prefix + u'/' + name;
}

void IniText::parse()
{
    m_start = m_bytes.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
    const QByteArrayView data(m_bytes);
    // The lines before the first header start at the very beginning, with the byte order mark,
    // as QSettings reads them.
    Run run {QString(), 0, 0, -1};
    qsizetype pos = m_start;
    Line line;
    while (readLine(data, pos, line)) {
        const QByteArrayView header = data.sliced(line.start, line.length);
        if (header.front() != '[')
            continue;
        run.end = line.start;
        m_runs.append(run);

        const qsizetype close = header.indexOf(']');
        const QByteArray name = (close == -1 ? header.sliced(1) : header.sliced(1, close - 1))
                                    .toByteArray()
                                    .trimmed();
        if (name.compare("general", Qt::CaseInsensitive) == 0)
            run.section.clear();
        else if (name.compare("%general", Qt::CaseInsensitive) == 0)
            run.section = QString::fromLatin1(name.sliced(1)) + u'/';
        else
            run.section = unescapedKey(name) + u'/';
        run.begin = pos;
    }
    run.end = m_bytes.size();
    m_runs.append(run);

    // Sections in the order of their names, the runs of one section in file order: the value
    // that comes last wins where two lines name the same key.
    QMap<QString, QList<qsizetype>> runsBySection;
    for (qsizetype index = 0; index < m_runs.size(); ++index)
        runsBySection[m_runs[index].section].append(index);
    for (const QList<qsizetype> &indexes : std::as_const(runsBySection)) {
        for (const qsizetype index : indexes)
            readRun(m_runs[index]);
    }
}

void IniText::readRun(Run &run)
{
    const QByteArrayView data = QByteArrayView(m_bytes).first(run.end);
    qsizetype pos = run.begin;
    Line line;
    while (readLine(data, pos, line)) {
        run.lastLineEnd = line.start + line.length;
        if (line.equals == -1)
            continue;
        const QByteArrayView name = data.sliced(line.start, line.equals - line.start).trimmed();
        const QByteArrayView value
            = data.sliced(line.equals + 1, run.lastLineEnd - line.equals - 1);

        // The blanks around a value are kept by an edit, as are the spaces before a comment.
        Entry entry;
        entry.valueBegin = line.equals + 1;
        entry.valueEnd = run.lastLineEnd;
        while (entry.valueBegin < entry.valueEnd && isBlank(data[entry.valueBegin]))
            ++entry.valueBegin;
        while (entry.valueEnd > entry.valueBegin && isBlank(data[entry.valueEnd - 1]))
            --entry.valueEnd;
        entry.isList = unescapedValue(value, entry.raw, entry.list);
        if (entry.isList) {
            // A list has no text of its own; QSettings streams an element only when one of them
            // starts with a single @.
            for (const QString &element : std::as_const(entry.list))
                entry.streamed = entry.streamed || isStreamedText(element);
        } else {
            entry.streamed = isStreamedText(entry.raw);
            entry.text = plainText(entry.raw);
        }
        m_hasStreamedValues = m_hasStreamedValues || entry.streamed;
        m_entries.insert(run.section + unescapedKey(name), entry);
    }
}

bool IniText::setEncoded(const QString &key, const QByteArray &encoded, const QString &expected)
{
    const auto entry = m_entries.constFind(key);
    QByteArray edited;
    if (entry != m_entries.cend()) {
        edited = m_bytes;
        edited.replace(entry->valueBegin, entry->valueEnd - entry->valueBegin, encoded);
    } else {
        edited = withNewLine(key, encoded);
    }
    return keepIfReadsBack(edited, key, expected)
        || keepIfReadsBack(rewritten(key, encoded), key, expected);
}

bool IniText::keepIfReadsBack(const QByteArray &edited, const QString &key, const QString &expected)
{
    IniText result(edited);
    if (result.text(key) != expected)
        return false;
    const qsizetype added = m_entries.contains(key) ? 0 : 1;
    if (result.m_entries.size() != m_entries.size() + added)
        return false;
    for (auto before = m_entries.cbegin(); before != m_entries.cend(); ++before) {
        if (before.key() == key)
            continue;
        const auto after = result.m_entries.constFind(before.key());
        if (after == result.m_entries.cend() || after->isList != before->isList
            || after->raw != before->raw || after->list != before->list) {
            return false;
        }
    }
    *this = std::move(result);
    return true;
}

QByteArray IniText::withNewLine(const QString &key, const QByteArray &encoded) const
{
    const qsizetype slash = key.lastIndexOf(u'/');
    const QString section = slash == -1 ? QString() : key.first(slash + 1);
    const QByteArray line = escapedKey(key.sliced(slash + 1)) + '=' + encoded;

    // Into the last run of the key's section, after its last line and any comment on it.
    for (auto run = m_runs.crbegin(); run != m_runs.crend(); ++run) {
        if (run->section != section)
            continue;
        QByteArray edited = m_bytes;
        if (run->lastLineEnd == -1 && run == std::prev(m_runs.crend())) {
            // Lines before any section header, and none there yet.
            edited.insert(m_start, line + '\n');
            return edited;
        }
        qsizetype at = run->lastLineEnd == -1 ? run->begin : run->lastLineEnd;
        while (at < run->end && !isLineBreak(m_bytes[at]))
            ++at;
        edited.insert(at, '\n' + line + (at == m_bytes.size() ? "\n" : ""));
        return edited;
    }

    // A new section at the end, a blank line apart from what is there.
    QByteArray edited = m_bytes;
    if (edited.size() > m_start) {
        if (!isLineBreak(edited.back()))
            edited += '\n';
        edited += '\n';
    }
    edited += escapedSection(section.chopped(section.isEmpty() ? 0 : 1)) + '\n' + line + '\n';
    return edited;
}

QByteArray IniText::rewritten(const QString &key, const QByteArray &encoded) const
{
    QMap<QString, QByteArray> values;
    for (auto entry = m_entries.cbegin(); entry != m_entries.cend(); ++entry) {
        QByteArrayList elements;
        for (const QString &element : entry->isList ? entry->list : QStringList {entry->raw})
            elements.append(encodedString(element));
        values.insert(entry.key(), elements.join(", "));
    }
    values.insert(key, encoded);

    // Sections in the order of their names, keys in order within each, split at the first
    // slash: the layout QSettings writes.
    QMap<QString, QByteArray> sections;
    for (auto value = values.cbegin(); value != values.cend(); ++value) {
        const qsizetype slash = value.key().indexOf(u'/');
        const QString section = slash == -1 ? QString() : value.key().first(slash);
        sections[section] += escapedKey(value.key().sliced(slash + 1)) + '=' + *value + '\n';
    }
    QByteArray file;
    for (auto section = sections.cbegin(); section != sections.cend(); ++section)
        file += (file.isEmpty() ? "" : "\n") + escapedSection(section.key()) + '\n' + *section;
    return file;
}
