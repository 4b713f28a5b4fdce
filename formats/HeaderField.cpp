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

void writeKeyAndValue(std::ostream& out, const std::string& name, std::int32_t width,
                      std::int32_t value, int lineEnds) {
    std::string key = name + ":";
    if (static_cast<std::int32_t>(key.size()) < width) {
        key.append(static_cast<std::size_t>(width) - key.size(), ' ');
    }
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out << key;
    out.write(digits, result.ptr - digits);
    for (int i = 0; i < lineEnds; ++i) {
        out << kLineEnd;
    }
}

} // namespace

void writeHeaderField(std::ostream& out, const IntField& field, int lineEnds) {
    if (field.present) {
        writeKeyAndValue(out, field.name, field.width, field.value, lineEnds);
    }
}

void writeHeaderField(std::ostream& out, const BoolField& field, int lineEnds) {
    if (field.present) {
        writeKeyAndValue(out, field.name, field.width, field.value ? 1 : 0, lineEnds);
    }
}

} // namespace qm
