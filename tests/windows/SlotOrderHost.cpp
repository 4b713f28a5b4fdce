// A host built like the real one would call the plug-in: it knows nothing of the plug-in's C++
// class, only the Windows ABI of the protocol. It takes the object from createPlugin, reads its
// virtual table and calls the three slots through raw function pointers with `this` as the first
// argument: slot 2 (initPlugin), slot 1 (execute), slot 0 (the scalar deleting destructor, flags
// 1 = free the object). It is named Halvorn.exe and exports the host functions that these calls
// reach, records every call, and checks that each slot did the work of the function it stands
// for. Usage: Halvorn.exe PATH-TO-Quelmar.dll. Exit status 0 when every check holds.
#include "PluginLibrary.h"

#include <halvorn/HalvornPluginApi.h>

#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::vector<std::string>& calls() {
    static std::vector<std::string> recorded;
    return recorded;
}

int failures = 0;

void check(bool condition, const std::string& what) {
    std::cout << (condition ? "ok: " : "FAILED: ") << what << '\n';
    if (!condition) {
        ++failures;
    }
}

// The calls recorded since the last look, then forgotten.
std::vector<std::string> takeCalls() {
    std::vector<std::string> taken;
    taken.swap(calls());
    return taken;
}

std::string joined(const std::vector<std::string>& texts) {
    std::string result;
    for (const auto& text : texts) {
        result += "[" + text + "]";
    }
    return result;
}

void expectCalls(const std::string& slot, const std::vector<std::string>& expected) {
    const auto actual = takeCalls();
    check(actual == expected,
          slot + " made the host calls " + joined(expected) + "; it made " + joined(actual));
}

// The slots as the host's ABI sees them: plain functions taking the object first.
using AnySlot = void (*)();
using ScalarDeletingDestructor = void* (*)(void* self, unsigned flags);
using BoolMember = bool (*)(void* self);

AnySlot slot(void* object, int index) {
    const AnySlot* table = *static_cast<const AnySlot* const*>(object);
    return table[index];
}

} // namespace

// The host functions the three slots reach, exported by name like the real host's.
extern "C" {
HALVORN_EXPORT void ztGetVersionOfHalvornZT(int* major, int* minor, int* patch) {
    calls().push_back("ztGetVersionOfHalvornZT");
    *major = 2;
    *minor = 8;
    *patch = 0;
}
HALVORN_EXPORT void ztShowLogTab() {
    calls().push_back("ztShowLogTab");
}
HALVORN_EXPORT void ztShowBusyCursor() {
    calls().push_back("ztShowBusyCursor");
}
HALVORN_EXPORT void ztStopBusyCursor() {
    calls().push_back("ztStopBusyCursor");
}
HALVORN_EXPORT void ztLogText(const char* text) {
    if (text[0] != '\0') {
        calls().push_back(std::string("ztLogText ") + text);
    }
}
HALVORN_EXPORT void ztMessageBox(const char* text) {
    calls().push_back(std::string("ztMessageBox ") + text);
}
HALVORN_EXPORT int ztGetIDOfCurrentDocument() {
    calls().push_back("ztGetIDOfCurrentDocument");
    return 0;
}
HALVORN_EXPORT int ztGetDocumentType(int) {
    calls().push_back("ztGetDocumentType");
    return kDocumentTypeFmr;
}
HALVORN_EXPORT void ztGetStringParameter(const char* name, char* buffer512) {
    calls().push_back(std::string("ztGetStringParameter ") + name);
    // No task of the plug-in's: execute only turns the busy cursor on and off.
    std::strcpy(buffer512, "no_such_task");
}
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: Halvorn.exe PATH-TO-Quelmar.dll\n";
        return 2;
    }
    std::string libraryPath = argv[1];
    for (char& c : libraryPath) {
        c = c == '/' ? '\\' : c;
    }
    // Never unloaded, as the host keeps it: the second object below is destroyed but not freed.
    const halvorn_host::PluginLibrary* library = nullptr;
    void* object = nullptr;
    try {
        library = new halvorn_host::PluginLibrary(libraryPath);
        object = library->createPlugin();
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 2;
    }
    check(object != nullptr, "createPlugin returned an object");
    expectCalls("createPlugin", {});

    const bool ready = reinterpret_cast<BoolMember>(slot(object, 2))(object);
    check(ready, "slot 2 (initPlugin) returned true");
    expectCalls("slot 2 (initPlugin)",
                {"ztGetVersionOfHalvornZT", "ztShowLogTab", "ztLogText \nQuelmar>  Running...",
                 "ztGetIDOfCurrentDocument", "ztGetDocumentType"});

    const bool executed = reinterpret_cast<BoolMember>(slot(object, 1))(object);
    check(executed, "slot 1 (execute) returned true");
    expectCalls("slot 1 (execute)",
                {"ztGetStringParameter task", "ztShowBusyCursor", "ztStopBusyCursor"});

    void* const destroyed = reinterpret_cast<ScalarDeletingDestructor>(slot(object, 0))(object, 1);
    check(destroyed == object, "slot 0 (scalar deleting destructor) returned the object");
    expectCalls("slot 0 (scalar deleting destructor, flags 1)",
                {"ztLogText \nQuelmar>  Plugin finished!\n"});

    // Flags 0: the destructor runs, and the memory stays the caller's (left to the process end).
    void* second = library->createPlugin();
    reinterpret_cast<BoolMember>(slot(second, 2))(second);
    takeCalls();
    void* const destroyedOnly =
        reinterpret_cast<ScalarDeletingDestructor>(slot(second, 0))(second, 0);
    check(destroyedOnly == second, "slot 0 with flags 0 returned the object");
    expectCalls("slot 0 (scalar deleting destructor, flags 0)",
                {"ztLogText \nQuelmar>  Plugin finished!\n"});

    std::cout << (failures == 0 ? "every slot is where the host calls it\n"
                                : std::to_string(failures) + " checks failed\n");
    return failures == 0 ? 0 : 1;
}
