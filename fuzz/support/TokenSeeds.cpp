// Writes the seed corpus of the token decryption target into a folder:
//   token_decrypt_seeds fuzz/corpus/token_decrypt

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fuzz/support/TokenFuzzSupport.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    for (const auto& [name, bytes] : fuzzsupport::TokenSeeds()) {
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
            return 1;
        }
    }
    return 0;
}
