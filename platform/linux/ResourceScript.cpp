#include "ResourceScript.h"

#include <cctype>
#include <cstdlib>
#include <set>

namespace {

// The platform's names that a script may use, with the platform's values.
const std::map<std::string, long>& KnownNames()
{
    static const std::map<std::string, long> names = {
        {"WS_OVERLAPPED", WS_OVERLAPPED},
        {"WS_POPUP", WS_POPUP},
        {"WS_CHILD", WS_CHILD},
        {"WS_MINIMIZE", WS_MINIMIZE},
        {"WS_VISIBLE", WS_VISIBLE},
        {"WS_DISABLED", WS_DISABLED},
        {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
        {"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
        {"WS_MAXIMIZE", WS_MAXIMIZE},
        {"WS_CAPTION", WS_CAPTION},
        {"WS_BORDER", WS_BORDER},
        {"WS_DLGFRAME", WS_DLGFRAME},
        {"WS_VSCROLL", WS_VSCROLL},
        {"WS_HSCROLL", WS_HSCROLL},
        {"WS_SYSMENU", WS_SYSMENU},
        {"WS_THICKFRAME", WS_THICKFRAME},
        {"WS_GROUP", WS_GROUP},
        {"WS_TABSTOP", WS_TABSTOP},
        {"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME},
        {"WS_EX_NOPARENTNOTIFY", WS_EX_NOPARENTNOTIFY},
        {"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT},
        {"WS_EX_WINDOWEDGE", WS_EX_WINDOWEDGE},
        {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
        {"WS_EX_CONTROLPARENT", WS_EX_CONTROLPARENT},
        {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
        {"DS_3DLOOK", DS_3DLOOK},
        {"DS_FIXEDSYS", DS_FIXEDSYS},
        {"DS_SETFONT", DS_SETFONT},
        {"DS_MODALFRAME", DS_MODALFRAME},
        {"DS_CONTROL", DS_CONTROL},
        {"DS_CENTER", DS_CENTER},
        {"DS_SHELLFONT", DS_SHELLFONT},
        {"ES_LEFT", ES_LEFT},
        {"ES_CENTER", ES_CENTER},
        {"ES_RIGHT", ES_RIGHT},
        {"ES_MULTILINE", ES_MULTILINE},
        {"ES_AUTOVSCROLL", ES_AUTOVSCROLL},
        {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
        {"ES_READONLY", ES_READONLY},
        {"ES_WANTRETURN", ES_WANTRETURN},
        {"ES_NUMBER", ES_NUMBER},
        {"SS_LEFT", SS_LEFT},
        {"SS_CENTER", SS_CENTER},
        {"SS_RIGHT", SS_RIGHT},
        {"SS_SIMPLE", SS_SIMPLE},
        {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP},
        {"SS_NOPREFIX", SS_NOPREFIX},
        {"SS_NOTIFY", SS_NOTIFY},
        {"SS_SUNKEN", SS_SUNKEN},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
        {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
        {"BS_CHECKBOX", BS_CHECKBOX},
        {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
        {"BS_GROUPBOX", BS_GROUPBOX},
        {"LANG_NEUTRAL", 0x00},
        {"LANG_ENGLISH", 0x09},
        {"SUBLANG_NEUTRAL", 0x00},
        {"SUBLANG_DEFAULT", 0x01},
        {"SUBLANG_ENGLISH_US", 0x01},
        {"IDOK", 1},
        {"IDCANCEL", 2},
        {"IDC_STATIC", -1},
    };
    return names;
}

// Memory flags that old scripts put after the resource type; they mean nothing now.
const std::set<std::string> memoryFlags = {"MOVEABLE", "FIXED",      "PURE",       "IMPURE",
                                           "PRELOAD",  "LOADONCALL", "DISCARDABLE"};

enum class TokenKind { Name, Number, Text, Symbol };

struct Token {
    TokenKind kind;
    std::string text;
    long number = 0;
    const char* file;
    int line;
};

struct Failure {
    std::string message;
};

class Lexer {
public:
    Lexer(const PlatformResourceFile* files, int fileCount, std::map<std::string, std::vector<Token>>* defines)
        : files(files), fileCount(fileCount), defines(defines)
    {
    }

    // The tokens of one file with its includes spliced in; directives are consumed.
    void Read(const char* name, const char* text, std::vector<Token>* out, int depth)
    {
        if (depth > 8)
            throw Failure{std::string(name) + ": includes nest too deeply"};
        int line = 1;
        const char* at = text;
        bool lineStart = true;
        while (*at) {
            char c = *at;
            if (c == '\n') {
                ++line;
                ++at;
                lineStart = true;
                continue;
            }
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++at;
                continue;
            }
            if (c == '/' && at[1] == '/') {
                while (*at && *at != '\n')
                    ++at;
                continue;
            }
            if (c == '/' && at[1] == '*') {
                at += 2;
                while (*at && !(at[0] == '*' && at[1] == '/'))
                    line += *at++ == '\n';
                if (*at)
                    at += 2;
                continue;
            }
            if (c == '#' && lineStart) {
                const char* end = at;
                while (*end && *end != '\n')
                    ++end;
                Directive(name, std::string(at + 1, end), line, out, depth);
                at = end;
                continue;
            }
            lineStart = false;
            out->push_back(NextToken(name, line, &at));
        }
    }

private:
    Token NextToken(const char* file, int line, const char** cursor)
    {
        const char* at = *cursor;
        Token token{TokenKind::Symbol, "", 0, file, line};
        if (*at == '"') {
            token.kind = TokenKind::Text;
            for (++at;; ++at) {
                if (!*at || *at == '\n')
                    throw Failure{Where(token) + "unterminated string"};
                if (at[0] == '"' && at[1] == '"') {
                    token.text += '"';
                    ++at;
                } else if (*at == '"') {
                    ++at;
                    break;
                } else if (*at == '\\' && at[1]) {
                    char escaped = *++at;
                    token.text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped == 'r' ? '\r' : escaped;
                } else {
                    token.text += *at;
                }
            }
        } else if (std::isdigit(static_cast<unsigned char>(*at))) {
            token.kind = TokenKind::Number;
            char* end = nullptr;
            token.number = long(std::strtoul(at, &end, 0));
            at = end;
            if (*at == 'L' || *at == 'l' || *at == 'U' || *at == 'u')
                ++at;
        } else if (std::isalpha(static_cast<unsigned char>(*at)) || *at == '_') {
            token.kind = TokenKind::Name;
            while (std::isalnum(static_cast<unsigned char>(*at)) || *at == '_')
                token.text += *at++;
        } else {
            token.text = std::string(1, *at++);
        }
        *cursor = at;
        return token;
    }

    void Directive(const char* file, const std::string& body, int line, std::vector<Token>* out, int depth)
    {
        size_t start = body.find_first_not_of(" \t");
        if (start == std::string::npos)
            return;
        size_t wordEnd = body.find_first_of(" \t\r", start);
        std::string word = body.substr(start, wordEnd == std::string::npos ? std::string::npos : wordEnd - start);
        std::string rest = wordEnd == std::string::npos ? "" : body.substr(wordEnd);
        if (word == "include") {
            size_t open = rest.find('"');
            if (open == std::string::npos)
                return; // <system headers>: the layer knows their names itself
            std::string included = rest.substr(open + 1, rest.find('"', open + 1) - open - 1);
            for (int i = 0; i < fileCount; ++i)
                if (included == files[i].name)
                    return Read(files[i].name, files[i].text, out, depth + 1);
            throw Failure{std::string(file) + ":" + std::to_string(line) + ": cannot include " + included};
        }
        if (word == "define") {
            std::vector<Token> tokens;
            Read(file, rest.c_str(), &tokens, depth + 1);
            if (tokens.empty() || tokens[0].kind != TokenKind::Name)
                throw Failure{std::string(file) + ":" + std::to_string(line) + ": bad #define"};
            std::string defined = tokens[0].text;
            tokens.erase(tokens.begin());
            for (Token& token : tokens)
                token.line = line;
            (*defines)[defined] = tokens;
            return;
        }
        if (word == "pragma" || word == "undef")
            return;
        throw Failure{std::string(file) + ":" + std::to_string(line) + ": unsupported directive #" + word};
    }

public:
    static std::string Where(const Token& token)
    {
        return std::string(token.file) + ":" + std::to_string(token.line) + ": ";
    }

private:
    const PlatformResourceFile* files;
    int fileCount;
    std::map<std::string, std::vector<Token>>* defines;
};

class Parser {
public:
    Parser(std::vector<Token> tokens, const std::map<std::string, std::vector<Token>>& defines)
        : tokens(std::move(tokens)), defines(defines)
    {
    }

    void Script(ResourceSet* out)
    {
        while (!AtEnd()) {
            if (Accept("LANGUAGE")) {
                Expression();
                Expect(",");
                Expression();
                continue;
            }
            if (Accept("STRINGTABLE")) {
                StringTable(out);
                continue;
            }
            long id = Expression();
            if (Accept("DIALOGEX"))
                out->dialogs[UINT(id)] = Dialog();
            else
                throw Failure{Lexer::Where(Peek()) + "unsupported resource type " + Peek().text};
        }
    }

private:
    DialogTemplate Dialog()
    {
        DialogTemplate dialog;
        SkipMemoryFlags();
        dialog.x = int(Expression());
        Expect(",");
        dialog.y = int(Expression());
        Expect(",");
        dialog.cx = int(Expression());
        Expect(",");
        dialog.cy = int(Expression());
        if (Accept(","))
            Expression(); // help id
        dialog.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        for (;;) {
            if (Accept("STYLE")) {
                dialog.style = DWORD(Style(0));
            } else if (Accept("EXSTYLE")) {
                dialog.exStyle = DWORD(Style(0));
            } else if (Accept("CAPTION")) {
                dialog.caption = Text();
            } else if (Accept("FONT")) {
                dialog.hasFont = true;
                dialog.pointSize = int(Expression());
                Expect(",");
                dialog.typeface = Text();
                if (Accept(","))
                    dialog.weight = int(Expression());
                if (Accept(","))
                    dialog.italic = int(Expression());
                if (Accept(","))
                    dialog.charset = int(Expression());
            } else if (Accept("LANGUAGE")) {
                Expression();
                Expect(",");
                Expression();
            } else {
                break;
            }
        }
        if (dialog.hasFont)
            dialog.style |= DS_SETFONT;
        Begin();
        while (!End()) {
            if (!Accept("CONTROL"))
                throw Failure{Lexer::Where(Peek()) + "unsupported dialog item " + Peek().text};
            dialog.items.push_back(Control());
        }
        return dialog;
    }

    DialogItemTemplate Control()
    {
        DialogItemTemplate item;
        item.text = Text();
        Expect(",");
        item.id = int32_t(Expression());
        Expect(",");
        item.className = Text();
        Expect(",");
        item.style = DWORD(Style(WS_CHILD | WS_VISIBLE));
        Expect(",");
        item.x = int(Expression());
        Expect(",");
        item.y = int(Expression());
        Expect(",");
        item.cx = int(Expression());
        Expect(",");
        item.cy = int(Expression());
        if (Accept(","))
            item.exStyle = DWORD(Style(0));
        if (Accept(","))
            Expression(); // help id
        return item;
    }

    void StringTable(ResourceSet* out)
    {
        SkipMemoryFlags();
        if (Accept("LANGUAGE")) {
            Expression();
            Expect(",");
            Expression();
        }
        Begin();
        while (!End()) {
            long id = Expression();
            Accept(",");
            std::string text = Text();
            std::wstring wide;
            int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
            wide.resize(size_t(count));
            if (count > 0)
                MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &wide[0], count);
            out->strings[UINT(id)] = wide;
        }
    }

    // A style: the base value, with each term ORed in and each NOT term taken out.
    long Style(long base)
    {
        long added = 0;
        long removed = 0;
        do {
            if (Accept("NOT"))
                removed |= Term();
            else
                added |= Term();
        } while (Accept("|"));
        return (base | added) & ~removed;
    }

    long Expression()
    {
        long value = Term();
        for (;;) {
            if (Accept("|"))
                value |= Term();
            else if (Accept("+"))
                value += Term();
            else if (Accept("-"))
                value -= Term();
            else
                return value;
        }
    }

    long Term()
    {
        if (Accept("-"))
            return -Term();
        if (Accept("~"))
            return ~Term();
        if (Accept("(")) {
            long value = Expression();
            Expect(")");
            return value;
        }
        Token token = Next();
        if (token.kind == TokenKind::Number)
            return token.number;
        if (token.kind == TokenKind::Name) {
            auto defined = defines.find(token.text);
            if (defined != defines.end()) {
                if (++expansionDepth > 16)
                    throw Failure{Lexer::Where(token) + "recursive #define " + token.text};
                Parser inner(defined->second, defines);
                inner.expansionDepth = expansionDepth;
                long value = inner.Expression();
                --expansionDepth;
                return value;
            }
            auto known = KnownNames().find(token.text);
            if (known != KnownNames().end())
                return known->second;
        }
        throw Failure{Lexer::Where(token) + "unknown value " + token.text};
    }

    std::string Text()
    {
        Token token = Next();
        if (token.kind != TokenKind::Text)
            throw Failure{Lexer::Where(token) + "expected a string, found " + token.text};
        return token.text;
    }

    void SkipMemoryFlags()
    {
        while (!AtEnd() && Peek().kind == TokenKind::Name && memoryFlags.count(Peek().text))
            ++position;
    }
    void Begin()
    {
        if (!Accept("BEGIN") && !Accept("{"))
            throw Failure{Lexer::Where(Peek()) + "expected BEGIN"};
    }
    bool End()
    {
        if (AtEnd())
            throw Failure{"the script ends inside a block"};
        return Accept("END") || Accept("}");
    }

    bool AtEnd() const { return position >= tokens.size(); }
    const Token& Peek() const
    {
        if (AtEnd())
            throw Failure{"unexpected end of the script"};
        return tokens[position];
    }
    Token Next()
    {
        Token token = Peek();
        ++position;
        return token;
    }
    bool Accept(const char* text)
    {
        if (AtEnd() || tokens[position].kind == TokenKind::Text || tokens[position].text != text)
            return false;
        ++position;
        return true;
    }
    void Expect(const char* text)
    {
        if (!Accept(text))
            throw Failure{Lexer::Where(Peek()) + "expected " + text + ", found " + Peek().text};
    }

    std::vector<Token> tokens;
    const std::map<std::string, std::vector<Token>>& defines;
    size_t position = 0;
    int expansionDepth = 0;
};

} // namespace

bool ParseResourceScript(const PlatformResourceFile* files, int fileCount, ResourceSet* out, std::string* error)
{
    if (fileCount < 1) {
        *error = "no resource script";
        return false;
    }
    try {
        std::map<std::string, std::vector<Token>> defines;
        std::vector<Token> tokens;
        Lexer(files, fileCount, &defines).Read(files[0].name, files[0].text, &tokens, 0);
        Parser(std::move(tokens), defines).Script(out);
        return true;
    } catch (const Failure& failure) {
        *error = failure.message;
        return false;
    }
}
