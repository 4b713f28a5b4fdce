#include "HeaderField.h"

#include <charconv>
#include <locale>

namespace qm {
namespace {

// Numbers in the host's files are written with a decimal point whatever the locale of the
// process that reads them.
class ClassicLocaleScope {
public:
    explicit ClassicLocaleScope(std::ios& stream)
        : stream_(stream), previous_(stream.imbue(std::locale::classic())) {}
    ~ClassicLocaleScope() { stream_.imbue(previous_); }
    ClassicLocaleScope(const ClassicLocaleScope&) = delete;
    ClassicLocaleScope& operator=(const ClassicLocaleScope&) = delete;

private:
    std::ios& stream_;
    std::locale previous_;
};

template <typename Value>
void startField(std::istream& in, const std::string& keyToken, HeaderField<Value>& field) {
    field.name = keyToken.substr(0, keyToken.empty() ? 0 : keyToken.size() - 1);
    field.width = static_cast<std::int32_t>(keyToken.size());
    while (in.peek() == ' ' || in.peek() == '\t') {
        in.get();
        ++field.width;
    }
}

} // namespace

void readHeaderField(std::istream& in, const std::string& keyToken, IntField& field) {
    startField(in, keyToken, field);
    const ClassicLocaleScope classic(in);
    std::int32_t value = 0;
    if (in >> value) {
        field.value = value;
    }
    field.present = true;
}

void readHeaderField(std::istream& in, const std::string& keyToken, FloatField& field) {
    startField(in, keyToken, field);
    const ClassicLocaleScope classic(in);
    float value = 0.0F;
    if (in >> value) {
        field.value = value;
    }
    field.present = true;
}

void readHeaderField(std::istream& in, const std::string& keyToken, BoolField& field) {
    startField(in, keyToken, field);
    const ClassicLocaleScope classic(in);
    std::int32_t value = 0;
    if (in >> value) {
        if (value == 0 || value == 1) {
            field.value = value == 1;
        } else {
            in.setstate(std::ios::failbit);
        }
    }
    field.present = true;
}

void readHeaderField(std::istream& in, const std::string& keyToken, StringField& field) {
    startField(in, keyToken, field);
    field.quoted = false;
    std::string rest;
    std::getline(in, rest);
    const auto last = rest.find_last_not_of(" \t\r");
    rest.erase(last == std::string::npos ? 0 : last + 1);
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') {
        field.value = rest.substr(1, rest.size() - 2);
        field.quoted = true;
    } else {
        field.value = rest;
    }
    field.present = true;
}

namespace {

void appendKeyAndValue(std::string& out, const std::string& name, std::int32_t width,
                       std::int32_t value, int lineEnds) {
    const std::size_t keyStart = out.size();
    out += name;
    out += ':';
    const std::size_t keyLength = out.size() - keyStart;
    if (static_cast<std::int64_t>(keyLength) < width) {
        out.append(static_cast<std::size_t>(width) - keyLength, ' ');
    } else {
        // A value read from the next line leaves a width of the key alone; written right after
        // the colon, key and value would read back as one unknown word.
        out += ' ';
    }
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
    for (int i = 0; i < lineEnds; ++i) {
        out += kLineEnd;
    }
}

} // namespace

void appendHeaderField(std::string& out, const IntField& field, int lineEnds) {
    if (field.present) {
        appendKeyAndValue(out, field.name, field.width, field.value, lineEnds);
    }
}

void appendHeaderField(std::string& out, const BoolField& field, int lineEnds) {
    if (field.present) {
        appendKeyAndValue(out, field.name, field.width, field.value ? 1 : 0, lineEnds);
    }
}

void writeHeaderField(std::ostream& out, const IntField& field, int lineEnds) {
    std::string text;
    appendHeaderField(text, field, lineEnds);
    out << text;
}

void writeHeaderField(std::ostream& out, const BoolField& field, int lineEnds) {
    std::string text;
    appendHeaderField(text, field, lineEnds);
    out << text;
}

} // namespace qm
