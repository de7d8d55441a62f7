// Writes a copy of an OpenType or TrueType font under another family and
// style name, optionally with other line metrics:
//   rename_font IN OUT FAMILY STYLE [ASCENDER DESCENDER]
// The copy's name table holds only the family, style, full and PostScript
// names (Windows Unicode English and Mac Roman); ASCENDER and DESCENDER (font
// units, the descender negative) replace those of its horizontal header, from
// which the framework takes the line height that a font's height fills.
// Everything else is the original's: a copy of another face can stand for a
// font a machine lacks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<std::uint8_t>;

std::uint32_t read32(const Bytes& b, size_t at)
{
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}
unsigned read16(const Bytes& b, size_t at) { return (unsigned(b[at]) << 8) | b[at + 1]; }
void put16(Bytes& b, unsigned v)
{
    b.push_back(std::uint8_t(v >> 8));
    b.push_back(std::uint8_t(v));
}
void set16(Bytes& b, size_t at, int v)
{
    b[at] = std::uint8_t((unsigned) v >> 8);
    b[at + 1] = std::uint8_t(v);
}
void set32(Bytes& b, size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + (size_t) i] = std::uint8_t(v >> (24 - 8 * i));
}

Bytes nameTable(const std::string& family, const std::string& style)
{
    const std::string full = style == "Regular" ? family : family + " " + style;
    std::string postScript = family + "-" + style;
    for (auto& c : postScript)
        if (c == ' ')
            c = '-';
    const std::pair<unsigned, std::string> names[] = {{1, family}, {2, style}, {4, full}, {6, postScript}};

    // Records sorted by platform, encoding, language, name id.
    struct Record
    {
        unsigned platform, encoding, language, id;
        Bytes text;
    };
    std::vector<Record> records;
    for (const auto& [id, text] : names)
        records.push_back({1, 0, 0, id, Bytes(text.begin(), text.end())});
    for (const auto& [id, text] : names)
    {
        Bytes utf16; // the names are ASCII
        for (char c : text)
        {
            utf16.push_back(0);
            utf16.push_back(std::uint8_t(c));
        }
        records.push_back({3, 1, 0x409, id, utf16});
    }

    Bytes table;
    put16(table, 0);
    put16(table, (unsigned) records.size());
    put16(table, unsigned(6 + 12 * records.size()));
    Bytes strings;
    for (const auto& r : records)
    {
        put16(table, r.platform);
        put16(table, r.encoding);
        put16(table, r.language);
        put16(table, r.id);
        put16(table, (unsigned) r.text.size());
        put16(table, (unsigned) strings.size());
        strings.insert(strings.end(), r.text.begin(), r.text.end());
    }
    table.insert(table.end(), strings.begin(), strings.end());
    return table;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 5 && argc != 7)
    {
        std::fprintf(stderr, "usage: %s IN OUT FAMILY STYLE [ASCENDER DESCENDER]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    Bytes font((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (font.size() < 12)
    {
        std::fprintf(stderr, "%s: not a font file\n", argv[1]);
        return 1;
    }
    const unsigned tables = read16(font, 4);
    size_t record = 0, hhea = 0;
    for (unsigned i = 0; i < tables && 12 + 16 * (i + 1) <= font.size(); ++i)
    {
        const std::uint32_t tag = read32(font, 12 + 16 * i);
        if (tag == 0x6E616D65) // 'name'
            record = 12 + 16 * i;
        else if (tag == 0x68686561) // 'hhea'
            hhea = read32(font, 12 + 16 * i + 8);
    }
    if (record == 0 || (argc == 7 && (hhea == 0 || hhea + 8 > font.size())))
    {
        std::fprintf(stderr, "%s: no name table or horizontal header\n", argv[1]);
        return 1;
    }
    if (argc == 7)
    {
        set16(font, hhea + 4, std::atoi(argv[5]));
        set16(font, hhea + 6, std::atoi(argv[6]));
    }

    // The new table goes at the end, on a four-byte boundary; the old one
    // stays in the file unreferenced.
    while (font.size() % 4 != 0)
        font.push_back(0);
    const Bytes table = nameTable(argv[3], argv[4]);
    set32(font, record + 8, (std::uint32_t) font.size());
    set32(font, record + 12, (std::uint32_t) table.size());
    font.insert(font.end(), table.begin(), table.end());
    while (font.size() % 4 != 0)
        font.push_back(0);

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(font.data()), (std::streamsize) font.size());
    return out ? 0 : 1;
}
