// encryptor <in> <out>: encrypts a plain file into the program's data-file
// layout with the program's own data-file key.
#include "stream_sealer.h"

#include "core/data_key.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: encryptor <plain input> <encrypted output>\n");
        return 2;
    }
    try {
        const encryptor::Key key = g_dataFileKey;
        std::string error;
        if (!encryptor::encryptFile(key, argv[1], argv[2], error)) {
            std::fprintf(stderr, "encryptor: %s\n", error.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "encryptor: %s\n", e.what());
        return 1;
    }
    return 0;
}
