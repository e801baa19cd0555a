// The bulk text passes of the page scanner against plain one-at-a-time versions of the same rules,
// over random texts rich in the bytes they look for, at every length and offset around their
// block sizes, and past the points where their lane counters are flushed.
#include "parsing/detail/TextScan.h"

#include <QChar>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace detail = crawlmere::parsing::detail;

namespace {

std::string randomBytes(std::mt19937& random, size_t size, const std::string& alphabet)
{
    std::string bytes(size, '\0');
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    for (char& c : bytes)
        c = alphabet[pick(random)];
    return bytes;
}

size_t plainLineStarts(const std::string& page, size_t from, size_t to, uint8_t before)
{
    size_t lines = 0;
    for (size_t k = from; k < to; ++k) {
        const uint8_t previous = k == from ? before : static_cast<uint8_t>(page[k - 1]);
        lines += previous == '\n' || (previous == '\r' && page[k] != '\n');
    }
    return lines;
}

std::string plainFold(const std::string& text)
{
    std::string out;
    bool lastWasSpace = true;
    for (const char c : text) {
        const bool white = c == '\r' || c == '\n' || c == '\t' || c == ' ';
        if (white) {
            if (!lastWasSpace)
                out += ' ';
        } else {
            out += c;
        }
        lastWasSpace = white;
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

qsizetype plainFirstFold(const std::u16string& text, bool separators)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u == u'\r' || u == u'\n')
            return static_cast<qsizetype>(i);
        if (separators && (u == u'\t' || (u == u' ' && i > 0 && text[i - 1] == u' ')))
            return static_cast<qsizetype>(i);
    }
    return static_cast<qsizetype>(text.size());
}

qint64 plainWhiteSpace(const std::u16string& text)
{
    qint64 count = 0;
    for (const char16_t u : text)
        count += QChar(u).isSpace();
    return count;
}

TEST(TextScanTest, LineStartsMatchTheByteRuleAtEveryRangeAndOffset)
{
    std::mt19937 random(11);
    const std::string alphabet = "ab\r\n\n \r<";
    for (int round = 0; round < 300; ++round) {
        const std::string page = randomBytes(random, 1 + random() % 90, alphabet);
        const size_t from = random() % page.size();
        const size_t to = from + random() % (page.size() - from + 1);
        const uint8_t before = from ? static_cast<uint8_t>(page[from - 1]) : 0;
        EXPECT_EQ(detail::countLineStarts(reinterpret_cast<const uint8_t*>(page.data()), from, to, before),
            plainLineStarts(page, from, to, before))
            << "round " << round;
    }
    // Long enough for the byte lanes to be added up several times; CR LF pairs across block edges.
    const std::string page = randomBytes(random, 20000, alphabet);
    EXPECT_EQ(detail::countLineStarts(reinterpret_cast<const uint8_t*>(page.data()), 0, page.size(), 0),
        plainLineStarts(page, 0, page.size(), 0));
    const std::string newlines(9000, '\n');
    // The CR before the range and the first LF are one line end, read at the range's second byte.
    EXPECT_EQ(detail::countLineStarts(reinterpret_cast<const uint8_t*>(newlines.data()), 0, newlines.size(), '\r'),
        newlines.size() - 1);
    EXPECT_EQ(detail::countLineStarts(reinterpret_cast<const uint8_t*>(newlines.data()), 0, newlines.size(), '\n'),
        newlines.size());
    EXPECT_EQ(detail::countLineStarts(reinterpret_cast<const uint8_t*>(newlines.data()), 5, 5, 0), 0u);
}

TEST(TextScanTest, AngleBracketAndEitherByteSearchesFindTheFirstOccurrence)
{
    std::mt19937 random(12);
    for (int round = 0; round < 300; ++round) {
        const std::string page = randomBytes(random, random() % 70, round % 2 ? "abcdefgh<" : "abcdefghijklmnop>w");
        const size_t from = page.empty() ? 0 : random() % page.size();
        size_t expected = page.size();
        for (size_t k = from; k < page.size(); ++k)
            if (page[k] == '<' || page[k] == '>') {
                expected = k;
                break;
            }
        EXPECT_EQ(detail::findAngleBracket(page.data(), from, page.size()), expected);
        size_t either = page.size();
        for (size_t k = from; k < page.size(); ++k)
            if (page[k] == 'w' || page[k] == 'h') {
                either = k;
                break;
            }
        EXPECT_EQ(detail::findEitherByte(page.data(), from, page.size(), 'w', 'h'), either);
    }
}

TEST(TextScanTest, ByteFoldingKeepsSingleSpacesAndDropsWhiteSpaceAtTheEnds)
{
    std::mt19937 random(13);
    // Mostly letters with single spaces (whole blocks move), and runs of mixed white space.
    for (const std::string& alphabet : { std::string("abcdefghijk "), std::string("ab \r\n\t\x0b"), std::string("a ") }) {
        for (int round = 0; round < 300; ++round) {
            std::string text = randomBytes(random, random() % 100, alphabet);
            const std::string expected = plainFold(text);
            const size_t size = detail::foldWhiteBytes(text.data(), text.size());
            EXPECT_EQ(text.substr(0, size), expected) << "round " << round;
        }
    }
    std::string white(40, ' ');
    EXPECT_EQ(detail::foldWhiteBytes(white.data(), white.size()), 0u);
    std::string words = " one two\r\nthree\t\tfour  ";
    words.resize(detail::foldWhiteBytes(words.data(), words.size()));
    EXPECT_EQ(words, "one two three four");
}

TEST(TextScanTest, FirstFoldPositionFindsTheFirstCharacterFoldingChanges)
{
    std::mt19937 random(14);
    const std::u16string alphabet = u"ab  \r\n\t\u00e9";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 600; ++round) {
        std::u16string text(random() % 60, u'a');
        for (char16_t& u : text)
            u = random() % 4 ? u'a' : alphabet[pick(random)];
        for (const bool separators : { true, false })
            EXPECT_EQ(detail::firstFoldPosition(text.data(), static_cast<qsizetype>(text.size()), separators),
                plainFirstFold(text, separators))
                << "round " << round;
    }
}

TEST(TextScanTest, PlainAsciiValuesHaveNothingToDecodeOrFold)
{
    const auto plain = [](const std::string& run, bool separators) {
        for (size_t i = 0; i < run.size(); ++i) {
            const uint8_t c = static_cast<uint8_t>(run[i]);
            if (c >= 0x80 || c == '&' || c == '\r' || c == '\n')
                return false;
            if (separators && (c == '\t' || (c == ' ' && i + 1 < run.size() && run[i + 1] == ' ')))
                return false;
        }
        return true;
    };
    std::mt19937 random(16);
    for (int round = 0; round < 2000; ++round) {
        // Mostly clean runs, so that one byte anywhere, a block edge included, decides.
        std::string run = randomBytes(random, random() % 70, "abc/.-_ ");
        if (!run.empty() && round % 2) {
            const std::string special = "& \r\n\t\x80\xc3\x0b";
            run[random() % run.size()] = special[random() % special.size()];
        }
        for (const bool separators : { true, false })
            EXPECT_EQ(detail::isPlainAscii(run.data(), run.size(), separators), plain(run, separators))
                << "round " << round;
    }
    EXPECT_TRUE(detail::isPlainAscii("", 0, true));
    EXPECT_FALSE(detail::isPlainAscii("https://example.org/a?b=1&amp;c=2", 33, false));
    EXPECT_TRUE(detail::isPlainAscii("two  spaces", 11, false));
    EXPECT_FALSE(detail::isPlainAscii("two  spaces", 11, true));
}

TEST(TextScanTest, WhiteSpaceCountMatchesQCharIncludingNonAsciiSpaces)
{
    std::mt19937 random(15);
    const std::u16string alphabet = u"abc \t\n\x0b\x0c\r\u00a0\u0085\u2003\u3000\u00e9\u4e2d";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 300; ++round) {
        std::u16string text(random() % 80, u'x');
        for (char16_t& u : text)
            u = random() % 3 ? u'x' : alphabet[pick(random)];
        EXPECT_EQ(detail::countWhiteSpace(text.data(), static_cast<qsizetype>(text.size())), plainWhiteSpace(text));
    }
    // More blocks than a 16-bit lane may count before it is added up.
    const std::u16string spaces(200000, u' ');
    EXPECT_EQ(detail::countWhiteSpace(spaces.data(), static_cast<qsizetype>(spaces.size())), 200000);
}

TEST(TextScanTest, ScratchBytesAreReusedByOneScanAtATimeAndOwnedOtherwise)
{
    const char* first = nullptr;
    {
        detail::ScratchBytes scratch(1000);
        first = scratch.get();
        scratch[999] = 'x';
        // A second scan on the same thread while the first runs gets bytes of its own.
        detail::ScratchBytes nested(1000);
        EXPECT_NE(nested.get(), first);
        nested[999] = 'y';
        EXPECT_EQ(scratch[999], 'x');
    }
    {
        detail::ScratchBytes again(2000);
        EXPECT_EQ(again.get(), first) << "the thread's buffer is used again";
        again[1999] = 'z';
    }
    detail::ScratchBytes huge(detail::ScratchBytes::kKeptBytes + 1);
    huge[detail::ScratchBytes::kKeptBytes] = 'h';
    EXPECT_EQ(huge[detail::ScratchBytes::kKeptBytes], 'h');
    detail::ScratchBytes empty(0);
    EXPECT_NE(empty.get(), nullptr);
}

} // namespace
