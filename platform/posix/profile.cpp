// Private-profile (INI) files, read and written the way Windows does it where
// the program can tell: names compared ignoring ASCII case, blanks (space,
// tab) around names and values dropped, a value in matching quotes unquoted on
// read, ';' lines taken as comments, LF or CRLF line ends. A write changes only
// the line of its key, or adds one line (and a section line) with CRLF, so
// every other line of the file keeps its bytes. Deleting keys or sections and
// listing names (null key or value) are not supported.
#include "errors.h"

#include "platform/stream.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char kNewLine[] = "\r\n";

// One line of the file: [start, end) holds its text without the line end;
// next is where the following line starts.
struct Line {
    size_t start;
    size_t end;
    size_t next;
};

enum LineKind { kBlank, kComment, kSection, kKey, kKeyWithoutValue };

struct ParsedLine {
    LineKind kind;
    std::string name;   // the section's or the key's name, blanks dropped
    std::string value;  // the key's value, blanks dropped, quotes kept
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Trim(const char *begin, const char *end)
{
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
    return std::string(begin, end);
}

std::string Trim(const char *text)
{
    return Trim(text, text + strlen(text));
}

bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? (char)(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? (char)(b[i] + 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

std::vector<Line> SplitLines(const std::string &text)
{
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t newline = text.find('\n', start);
        size_t next = newline == std::string::npos ? text.size() : newline + 1;
        size_t end = newline == std::string::npos ? text.size() : newline;
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.push_back(Line{start, end, next});
        start = next;
    }
    return lines;
}

ParsedLine ParseLine(const std::string &text, const Line &line)
{
    std::string content = Trim(text.data() + line.start, text.data() + line.end);
    if (content.empty())
        return ParsedLine{kBlank, "", ""};
    if (content[0] == ';')
        return ParsedLine{kComment, "", ""};
    if (content[0] == '[') {
        size_t close = content.find(']');
        size_t nameEnd = close == std::string::npos ? content.size() : close;
        return ParsedLine{kSection, Trim(content.data() + 1, content.data() + nameEnd), ""};
    }
    size_t equals = content.find('=');
    if (equals == std::string::npos)
        return ParsedLine{kKeyWithoutValue, content, ""};
    const char *data = content.data();
    return ParsedLine{kKey, Trim(data, data + equals), Trim(data + equals + 1, data + content.size())};
}

// Where a key was found, or where its section ends for adding it.
struct KeyPlace {
    bool sectionFound;
    bool keyFound;
    size_t keyLine;        // the key's line, when found
    size_t lastLineInSection;  // the section's last line that is not blank
};

// Looks in the first section of that name only, as Windows does.
KeyPlace FindKey(const std::string &text, const std::vector<Line> &lines, const std::string &section,
                 const std::string &key)
{
    KeyPlace place = {false, false, 0, 0};
    for (size_t i = 0; i < lines.size(); ++i) {
        ParsedLine parsed = ParseLine(text, lines[i]);
        if (parsed.kind == kSection) {
            if (place.sectionFound)
                break;
            if (SameName(parsed.name, section)) {
                place.sectionFound = true;
                place.lastLineInSection = i;
            }
            continue;
        }
        if (!place.sectionFound || parsed.kind == kBlank)
            continue;
        place.lastLineInSection = i;
        if ((parsed.kind == kKey || parsed.kind == kKeyWithoutValue) && SameName(parsed.name, key)) {
            place.keyFound = true;
            place.keyLine = i;
            return place;
        }
    }
    return place;
}

bool ReadWholeFile(const char *path, std::string *text)
{
    FILE *file = OpenStream(path, "rb");
    if (file == NULL)
        return false;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        text->append(chunk, got);
    bool ok = ferror(file) == 0;
    fclose(file);
    return ok;
}

bool WriteWholeFile(const char *path, const std::string &text)
{
    FILE *file = OpenStream(path, "wb");
    if (file == NULL)
        return false;
    bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && ok;
}

// The value of key in section, unquoted; false when the file, the section or
// the key is missing, or the key has no "=".
bool LookUp(const char *section, const char *key, const char *fileName, std::string *value)
{
    std::string text;
    if (section == NULL || key == NULL || fileName == NULL || !ReadWholeFile(fileName, &text))
        return false;
    std::vector<Line> lines = SplitLines(text);
    KeyPlace place = FindKey(text, lines, Trim(section), Trim(key));
    if (!place.keyFound)
        return false;
    ParsedLine parsed = ParseLine(text, lines[place.keyLine]);
    if (parsed.kind != kKey)
        return false;
    *value = parsed.value;
    char quote = value->empty() ? '\0' : (*value)[0];
    if ((quote == '"' || quote == '\'') && value->size() > 1 && value->back() == quote)
        *value = value->substr(1, value->size() - 2);
    return true;
}

// Digits as Windows reads them: a sign, then "0x", "0o" or "0b" for another
// base, then digits up to the first that does not belong, wrapping at 2^32.
UINT ParseProfileInt(const char *text)
{
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    unsigned base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'o' || text[1] == 'b')) {
        base = text[1] == 'x' ? 16 : text[1] == 'o' ? 8 : 2;
        text += 2;
    }
    UINT value = 0;
    for (;; ++text) {
        unsigned digit;
        if (*text >= '0' && *text <= '9')
            digit = (unsigned)(*text - '0');
        else if (*text >= 'a' && *text <= 'f')
            digit = (unsigned)(*text - 'a' + 10);
        else if (*text >= 'A' && *text <= 'F')
            digit = (unsigned)(*text - 'A' + 10);
        else
            break;
        if (digit >= base)
            break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName)
{
    if (buffer == NULL || size == 0)
        return 0;
    std::string value;
    if (!LookUp(section, key, fileName, &value)) {
        // Windows drops the default's trailing blanks.
        value = defaultValue != NULL ? defaultValue : "";
        while (!value.empty() && IsBlank(value.back()))
            value.pop_back();
    }
    size_t length = value.size() < size - 1 ? value.size() : size - 1;
    memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return (DWORD)length;
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName)
{
    std::string value;
    if (!LookUp(section, key, fileName, &value) || value.empty())
        return (UINT)defaultValue;
    return ParseProfileInt(value.c_str());
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName)
{
    if (section == NULL || key == NULL || value == NULL || fileName == NULL)
        return FailWith(ERROR_INVALID_PARAMETER);
    std::string text;
    if (GetFileAttributesA(fileName) != INVALID_FILE_ATTRIBUTES && !ReadWholeFile(fileName, &text))
        return FailWith(ERROR_ACCESS_DENIED);
    std::string sectionName = Trim(section);
    std::string keyName = Trim(key);
    std::vector<Line> lines = SplitLines(text);
    KeyPlace place = FindKey(text, lines, sectionName, keyName);

    std::string updated;
    if (place.keyFound) {
        // The key keeps its spelling and its line end; only the value changes.
        const Line &line = lines[place.keyLine];
        ParsedLine parsed = ParseLine(text, line);
        updated = text.substr(0, line.start) + parsed.name + "=" + value + text.substr(line.end);
    } else {
        std::string keyLine = keyName + "=" + value + kNewLine;
        size_t at = place.sectionFound ? lines[place.lastLineInSection].next : text.size();
        std::string before = text.substr(0, at);
        // A last line without its line end gets one before anything follows it.
        if (!before.empty() && before.back() != '\n')
            before += kNewLine;
        if (!place.sectionFound)
            keyLine = "[" + sectionName + "]" + kNewLine + keyLine;
        updated = before + keyLine + text.substr(at);
    }
    if (!WriteWholeFile(fileName, updated))
        return FailFromErrno();
    return TRUE;
}
