#include "settings/uOptions.h"

#include <limits>
#include <optional>
#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include "settings/SaveFile.h"

using namespace Qt::StringLiterals;

TOptions* Options = nullptr;

namespace {

constexpr auto kFileName = "Options.xml"_L1;
constexpr int kMaxDepth = 256;

// Optional sign and decimal digits, nothing else; out of range is not a number either.
template <typename Int> std::optional<Int> ParseInteger(QStringView text)
{
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text[0] == u'-';
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+'))
        i = 1;
    if (i == text.size())
        return std::nullopt;
    // Accumulate towards the negative side, which holds one more value than the positive one.
    Int value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const Int digit = Int(c - u'0');
        if (value < (std::numeric_limits<Int>::min() + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<Int>::min())
            return std::nullopt;
        value = -value;
    }
    return value;
}

bool ParseBoolean(QStringView text)
{
    if (text.isEmpty())
        return false;
    const char16_t c = text[0].toUpper().unicode();
    return c == u'1' || c == u'T' || c == u'Y';
}

// The first attribute whose name matches regardless of letter case.
std::optional<QString> FindAttribute(const QXmlStreamAttributes& attributes, QLatin1StringView name)
{
    for (const QXmlStreamAttribute& a : attributes) {
        if (a.qualifiedName().compare(name, Qt::CaseInsensitive) == 0)
            return a.value().toString();
    }
    return std::nullopt;
}

int ReadInt(const QXmlStreamAttributes& attributes, QLatin1StringView name)
{
    const std::optional<QString> text = FindAttribute(attributes, name);
    return text ? ParseInteger<qint32>(*text).value_or(0) : 0;
}

void ReadInt64(const QXmlStreamAttributes& attributes, QLatin1StringView name, qint64& value)
{
    if (const std::optional<QString> text = FindAttribute(attributes, name)) {
        if (const std::optional<qint64> parsed = ParseInteger<qint64>(*text))
            value = *parsed;
    }
}

// Saved as a signed 32-bit number although held as 64 bits.
QByteArray Low32(qint64 value)
{
    return QByteArray::number(qint32(quint32(quint64(value))));
}

QString ComputeDataFolder()
{
    // Without a data location the folder lands at the file system root, as it would on a drive.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Quillbox/"_L1;
}

} // namespace

TOptions::TOptions()
{
    Reset();
}

void TOptions::Reset()
{
    std::lock_guard lock(m_lock);
    ResetLocked();
}

void TOptions::ResetLocked()
{
    m_dataFolder = ComputeDataFolder();
    QDir().mkpath(m_dataFolder);
    m_left = m_top = m_width = m_height = 0;
    m_maximized = false;
    m_ga = TGAValues();
}

void TOptions::Load()
{
    std::lock_guard lock(m_lock);
    ResetLocked();
    const QString path = m_dataFolder + kFileName;
    if (!QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            QStringLiteral("Не удалось открыть %1: %2").arg(path, file.errorString()).toStdString());

    // Read into locals and keep them only when the whole document turns out well-formed.
    int left = 0, top = 0, width = 0, height = 0;
    bool maximized = false;
    TGAValues ga = m_ga;
    bool seenMainForm = false, seenGA = false;

    QXmlStreamReader xml(&file);
    // Names are compared as written; an undeclared prefix is no reason to reject the file.
    xml.setNamespaceProcessing(false);
    int depth = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            // The reader keeps every open element; a file of nothing but start tags must not
            // make it hold millions of them.
            if (++depth > kMaxDepth) {
                xml.raiseError(u"элементы вложены глубже %1 уровней"_s.arg(kMaxDepth));
                break;
            }
            if (depth != 2)
                continue;
            const QStringView name = xml.qualifiedName();
            if (!seenMainForm && name.compare("MainForm"_L1, Qt::CaseInsensitive) == 0) {
                seenMainForm = true;
                const QXmlStreamAttributes a = xml.attributes();
                left = ReadInt(a, "Left"_L1);
                top = ReadInt(a, "Top"_L1);
                width = ReadInt(a, "Width"_L1);
                height = ReadInt(a, "Height"_L1);
                const std::optional<QString> m = FindAttribute(a, "Maximized"_L1);
                maximized = m && ParseBoolean(*m);
            } else if (!seenGA && name.compare("GA"_L1, Qt::CaseInsensitive) == 0) {
                seenGA = true;
                const QXmlStreamAttributes a = xml.attributes();
                ReadInt64(a, "FirstTime"_L1, ga.FirstTime);
                ReadInt64(a, "PrevTime"_L1, ga.PrevTime);
                ReadInt64(a, "ID"_L1, ga.ID);
                ReadInt64(a, "Hash"_L1, ga.Hash);
                ReadInt64(a, "Count"_L1, ga.Count);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    // An empty file or one without a root element ends with an error too.
    if (xml.hasError())
        throw std::runtime_error(QStringLiteral("Не удалось прочитать %1: строка %2, столбец %3: %4")
                                     .arg(path)
                                     .arg(xml.lineNumber())
                                     .arg(xml.columnNumber())
                                     .arg(xml.errorString())
                                     .toStdString());
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    m_maximized = maximized;
    m_ga = ga;
}

void TOptions::Save()
{
    std::lock_guard lock(m_lock);
    // Built by hand so the bytes are fixed: double-quoted declaration, two-space indent, the
    // attributes in their order, the short "/>" form and CR LF after every line, the last one too.
    QByteArray xml;
    xml += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<Options>\r\n";
    xml += "  <MainForm Left=\"" + QByteArray::number(m_left) + "\" Top=\"" + QByteArray::number(m_top) +
           "\" Width=\"" + QByteArray::number(m_width) + "\" Height=\"" + QByteArray::number(m_height) +
           "\" Maximized=\"" + (m_maximized ? "1" : "0") + "\"/>\r\n";
    xml += "  <GA FirstTime=\"" + Low32(m_ga.FirstTime) + "\" PrevTime=\"" + Low32(m_ga.PrevTime) +
           "\" ID=\"" + Low32(m_ga.ID) + "\" Hash=\"" + Low32(m_ga.Hash) + "\" Count=\"" + Low32(m_ga.Count) +
           "\"/>\r\n";
    xml += "</Options>\r\n";
    const QString path = m_dataFolder + kFileName;
    const QString error = SaveToFile(path, xml);
    if (!error.isEmpty())
        throw std::runtime_error(QStringLiteral("Не удалось записать %1: %2").arg(path, error).toStdString());
}

QString TOptions::DataFolder() const
{
    std::lock_guard lock(m_lock);
    return m_dataFolder;
}

int TOptions::Left() const
{
    std::lock_guard lock(m_lock);
    return m_left;
}

int TOptions::Top() const
{
    std::lock_guard lock(m_lock);
    return m_top;
}

int TOptions::Width() const
{
    std::lock_guard lock(m_lock);
    return m_width;
}

int TOptions::Height() const
{
    std::lock_guard lock(m_lock);
    return m_height;
}

bool TOptions::Maximized() const
{
    std::lock_guard lock(m_lock);
    return m_maximized;
}

void TOptions::SetLeft(int v)
{
    std::lock_guard lock(m_lock);
    m_left = v;
}

void TOptions::SetTop(int v)
{
    std::lock_guard lock(m_lock);
    m_top = v;
}

void TOptions::SetWidth(int v)
{
    std::lock_guard lock(m_lock);
    m_width = v;
}

void TOptions::SetHeight(int v)
{
    std::lock_guard lock(m_lock);
    m_height = v;
}

void TOptions::SetMaximized(bool v)
{
    std::lock_guard lock(m_lock);
    m_maximized = v;
}

TGAValues TOptions::GA() const
{
    std::lock_guard lock(m_lock);
    return m_ga;
}

void TOptions::SetGA(const TGAValues& v)
{
    std::lock_guard lock(m_lock);
    m_ga = v;
}

void TOptions::UpdateGA(const std::function<void(TGAValues&)>& update)
{
    std::lock_guard lock(m_lock);
    // On a copy, so an exception from the update leaves the values as they were.
    TGAValues values = m_ga;
    update(values);
    m_ga = values;
}

void OptionsStart()
{
    delete Options;
    Options = new TOptions;
}

void OptionsStop()
{
    delete Options;
    Options = nullptr;
}
