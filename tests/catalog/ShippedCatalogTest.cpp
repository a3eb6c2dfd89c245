#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include "accounts/CryptStr.h"
#include "catalog/CategoryLines.h"

using namespace Qt::StringLiterals;

namespace {

const char* const kCategories[] = {"love",    "humor", "razluka", "depress", "brain",
                                   "forgirl", "pafos", "formen",  "sex",     "other"};

QStringList SourceLines(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(u'\n')) {
        text.chop(1);
    }
    return text.split(u'\n');
}

} // namespace

// The files built into Base/ beside the executable are what the program ships.
TEST(ShippedCatalog, EveryCategoryDecodesToItsSource)
{
    const QDir sources(QStringLiteral(QUILLBOX_SOURCE_DIR "/data/base"));
    const QDir built(QStringLiteral(QUILLBOX_BINARY_DIR "/app/Base"));
    for (const char* name : kCategories) {
        const QString fileName = QString::fromLatin1(name) + u".txt"_s;
        SCOPED_TRACE(name);
        const TCategoryLines lines = TCategoryLines::FromFile(built.filePath(fileName));
        const QStringList expected = SourceLines(sources.filePath(fileName));
        ASSERT_EQ(lines.Count(), expected.size());
        EXPECT_GE(lines.Count(), 60);
        for (qsizetype i = 0; i < lines.Count(); ++i) {
            const QString scrambled = QString::fromLatin1(lines.Line(i));
            const std::optional<QString> status = TryUnscramble(scrambled);
            ASSERT_TRUE(status.has_value()) << "line " << i + 1;
            EXPECT_EQ(*status, expected[i]) << "line " << i + 1;
            EXPECT_FALSE(status->trimmed().isEmpty()) << "line " << i + 1;
            EXPECT_LE(status->size(), 255) << "line " << i + 1;
            EXPECT_EQ(Scramble(*status), scrambled) << "line " << i + 1;
        }
    }
}
