#include "Web.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace {

struct CodeDeleter
{
    void operator()(pcre2_code* c) const { pcre2_code_free(c); }
};
struct MatchDataDeleter
{
    void operator()(pcre2_match_data* m) const { pcre2_match_data_free(m); }
};
struct CompileContextDeleter
{
    void operator()(pcre2_compile_context* c) const { pcre2_compile_context_free(c); }
};

// Length of the UTF-8 sequence that starts with this byte (1 for a stray continuation byte).
size_t Utf8Length(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

struct TRegEx::Impl
{
    QByteArray subject;
    std::unique_ptr<pcre2_code, CodeDeleter> code;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> data;
    uint32_t captureCount = 0;
    bool matched = false;
    bool checked = false; // the subject passed PCRE2's UTF-8 check once
    int groups = 0;       // highest group that took part in the last match

    bool MatchAt(size_t offset)
    {
        matched = false;
        groups = 0;
        if (!code || offset > static_cast<size_t>(subject.size()))
            return false;
        const uint32_t options = checked ? PCRE2_NO_UTF_CHECK : 0;
        const int rc =
            pcre2_match(code.get(), reinterpret_cast<PCRE2_SPTR>(subject.constData()),
                        static_cast<PCRE2_SIZE>(subject.size()), offset, options, data.get(), nullptr);
        checked = checked || rc >= 0 || rc == PCRE2_ERROR_NOMATCH;
        if (rc < 0)
            return false; // no match, or a limit reached on a hostile subject
        matched = true;
        groups = rc - 1;
        return true;
    }
};

TRegEx::TRegEx() : m_impl(std::make_unique<Impl>()) {}

TRegEx::~TRegEx() = default;

bool TRegEx::IsValid() const
{
    return m_impl->code != nullptr;
}

bool TRegEx::Match()
{
    return m_impl->MatchAt(0);
}

bool TRegEx::MatchAgain()
{
    if (!m_impl->matched)
        return false;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(m_impl->data.get());
    size_t next = ov[1];
    if (ov[1] == ov[0]) {
        // an empty match: go on one character further, not one byte
        if (next >= static_cast<size_t>(m_impl->subject.size())) {
            m_impl->matched = false;
            return false;
        }
        next += Utf8Length(static_cast<unsigned char>(m_impl->subject[static_cast<qsizetype>(next)]));
    }
    return m_impl->MatchAt(next);
}

int TRegEx::GroupCount() const
{
    return m_impl->groups;
}

QString TRegEx::Group(int n) const
{
    if (!m_impl->matched || n < 0 || static_cast<uint32_t>(n) > m_impl->captureCount)
        return QString();
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(m_impl->data.get());
    if (static_cast<uint32_t>(n) >= pcre2_get_ovector_count(m_impl->data.get()))
        return QString();
    const PCRE2_SIZE start = ov[2 * n];
    const PCRE2_SIZE end = ov[2 * n + 1];
    if (start == PCRE2_UNSET || end < start)
        return QString();
    return QString::fromUtf8(m_impl->subject.constData() + start, static_cast<qsizetype>(end - start));
}

std::unique_ptr<TRegEx> CreateRegEx(const QString& subject, const QString& pattern)
{
    std::unique_ptr<TRegEx> re(new TRegEx());
    TRegEx::Impl& impl = *re->m_impl;
    impl.subject = subject.toUtf8();
    const std::unique_ptr<pcre2_compile_context, CompileContextDeleter> context(
        pcre2_compile_context_create(nullptr));
    if (!context)
        return re;
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANY);
    const QByteArray source = pattern.toUtf8();
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    impl.code.reset(pcre2_compile(
        reinterpret_cast<PCRE2_SPTR>(source.constData()), static_cast<PCRE2_SIZE>(source.size()),
        PCRE2_UTF | PCRE2_CASELESS | PCRE2_DOTALL, &error, &errorOffset, context.get()));
    if (!impl.code)
        return re;
    impl.data.reset(pcre2_match_data_create_from_pattern(impl.code.get(), nullptr));
    if (!impl.data) {
        impl.code.reset();
        return re;
    }
    pcre2_pattern_info(impl.code.get(), PCRE2_INFO_CAPTURECOUNT, &impl.captureCount);
    return re;
}

bool FirstMatchGroup(const QString& subject, const QString& pattern, QString& group1)
{
    const std::unique_ptr<TRegEx> re = CreateRegEx(subject, pattern);
    if (!re->Match())
        return false;
    group1 = re->Group(1);
    return true;
}
