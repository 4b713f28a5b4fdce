// Module lookup on Linux and other ELF systems.
//
// The host's executable is the main program, which dl_iterate_phdr reports with an empty name,
// so its file name comes from /proc/self/exe. A symbol is accepted only when it lies
// inside the module that was asked for: dlsym on the main program's handle also searches the
// libraries loaded after it, and a function of the same name from another library must not be
// taken for the host's.
#if !defined(_WIN32)

#include "HostModule.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <array>
#include <string_view>

namespace qm {
namespace {

std::string_view fileNamePart(std::string_view path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string mainProgramPath() {
    std::array<char, 4096> buffer{};
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length))
                      : std::string();
}

struct ModuleSearch {
    std::string fileName;
    std::string foundPath;
    ElfW(Addr) foundBase = 0;
    bool found = false;
};

int visitModule(dl_phdr_info* info, std::size_t, void* data) {
    auto* search = static_cast<ModuleSearch*>(data);
    const bool isMainProgram = info->dlpi_name == nullptr || info->dlpi_name[0] == '\0';
    const std::string path = isMainProgram ? mainProgramPath() : std::string(info->dlpi_name);
    if (path.empty() || fileNamePart(path) != search->fileName) {
        return 0;
    }
    search->foundPath = isMainProgram ? std::string() : path;
    search->foundBase = info->dlpi_addr;
    search->found = true;
    return 1;
}

// True when `address` lies inside a loaded segment of the module loaded at `base`.
bool moduleContains(ElfW(Addr) base, const void* address) {
    struct Query {
        ElfW(Addr) base;
        ElfW(Addr) address;
        bool inside = false;
    } query{base, reinterpret_cast<ElfW(Addr)>(address)};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* q = static_cast<Query*>(data);
            if (info->dlpi_addr != q->base) {
                return 0;
            }
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                const ElfW(Addr) start = info->dlpi_addr + segment.p_vaddr;
                if (segment.p_type == PT_LOAD && q->address >= start &&
                    q->address < start + segment.p_memsz) {
                    q->inside = true;
                }
            }
            return 1;
        },
        &query);
    return query.inside;
}

class ElfHostModule final : public HostModule {
public:
    ElfHostModule(void* handle, ElfW(Addr) base) : handle_(handle), base_(base) {}
    ~ElfHostModule() override { dlclose(handle_); }
    ElfHostModule(const ElfHostModule&) = delete;
    ElfHostModule& operator=(const ElfHostModule&) = delete;

    AnyHostFunction resolve(const char* name) const override {
        void* symbol = dlsym(handle_, name);
        if (symbol == nullptr || !moduleContains(base_, symbol)) {
            return nullptr;
        }
        return reinterpret_cast<AnyHostFunction>(symbol);
    }

private:
    void* handle_;
    ElfW(Addr) base_;
};

} // namespace

std::unique_ptr<HostModule> findLoadedModule(const std::string& fileName) {
    ModuleSearch search{fileName, {}, 0, false};
    dl_iterate_phdr(visitModule, &search);
    if (!search.found) {
        return nullptr;
    }
    // RTLD_NOLOAD: only a handle of a module that is already there; nothing is loaded.
    void* handle = search.foundPath.empty()
                       ? dlopen(nullptr, RTLD_LAZY)
                       : dlopen(search.foundPath.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return nullptr;
    }
    return std::make_unique<ElfHostModule>(handle, search.foundBase);
}

} // namespace qm

#endif
