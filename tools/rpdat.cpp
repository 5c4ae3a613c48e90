// lumacore-rpdat: converts the signature file between its plain XML form and its stored form
// (1 added to every byte, then LZNT1), and checks that a file loads.
//   lumacore-rpdat encode PLAIN.xml STORED.dat
//   lumacore-rpdat decode STORED.dat PLAIN.xml
//   lumacore-rpdat check FILE
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "engines/raw/signature_entry.h"
#include "engines/raw/xml_reader.h"

using namespace lumacore;

namespace {

bool ReadAll(const std::string& path, std::vector<std::byte>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    out.resize(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<std::byte>(bytes[i]);
    return true;
}

bool WriteAll(const std::string& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

int Usage() {
    std::cerr << "usage: lumacore-rpdat encode PLAIN STORED | decode STORED PLAIN | check FILE\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    std::vector<std::byte> input;
    if (!ReadAll(argv[2], input)) {
        std::cerr << "lumacore-rpdat: cannot read " << argv[2] << '\n';
        return 1;
    }
    if (command == "check") {
        std::vector<SignatureEntry> entries;
        if (!LoadSignaturesFromBytes(entries, input)) {
            std::cerr << "lumacore-rpdat: " << argv[2] << " does not load\n";
            return 1;
        }
        std::cout << entries.size() << " signatures\n";
        return 0;
    }
    if (argc != 4) return Usage();
    if (command == "encode") {
        const std::string text(reinterpret_cast<const char*>(input.data()), input.size());
        const auto stored = EncodeStoredForm(text);
        if (!stored) {
            std::cerr << "lumacore-rpdat: the text must start with '<' (no stored form reads back cleanly "
                         "otherwise)\n";
            return 1;
        }
        return WriteAll(argv[3], stored->data(), stored->size()) ? 0 : 1;
    }
    if (command == "decode") {
        const auto text = SignatureText(TextModeContent(input));
        if (!text) {
            std::cerr << "lumacore-rpdat: " << argv[2] << " is not a valid stored form\n";
            return 1;
        }
        return WriteAll(argv[3], text->data(), text->size()) ? 0 : 1;
    }
    return Usage();
}
