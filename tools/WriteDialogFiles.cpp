// write_dialog_files OUTPUT_FOLDER: writes "Quelmar.js" and "quelmar-defaults.params" from the
// parameter list into OUTPUT_FOLDER. The build runs it so both land beside the library.
#include "DialogFiles.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

void writeTextFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: write_dialog_files OUTPUT_FOLDER\n";
        return 2;
    }
    try {
        const std::filesystem::path folder(argv[1]);
        writeTextFile(folder / qm::tools::kDialogScriptFileName, qm::tools::dialogScript());
        writeTextFile(folder / qm::tools::kDefaultParameterFileName,
                      qm::tools::defaultParameterFile());
    } catch (const std::exception& error) {
        std::cerr << "write_dialog_files: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
