// Writes the seed corpus of the sharing service's reply target: each reply
// of the protocol as the service stand-in answers it, written as JSON by our
// own value writer.
//
//   sharing_reply_seeds <folder>

#include "platform/foundation/Value.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::Value;

Value layout(const std::string& id, int likes) {
    Value::Array likeUsers;
    for (int i = 0; i < likes; ++i) likeUsers.push_back(Value("user" + std::to_string(i)));
    return Value(Value::Dictionary{
        {"id", id},
        {"title", "Harbour_Line"},
        {"author", "ada"},
        {"uploadDate", Value(std::chrono::system_clock::time_point(std::chrono::seconds(1717236000)))},
        {"tags", Value::Array{Value("harbour"), Value("H0")}},
        {"modelScales", Value::Array{Value("H0"), Value("TT")}},
        {"numberOfTracks", 42},
        {"summary", Value::Dictionary{{"de", "Ein Hafen"}, {"en", "A harbour"}}},
        {"weburl", "https://sharing.vekmont.net/layouts/" + id},
        {"likeUsers", likeUsers},
        {"blobName", id + ".layout"},
        {"previewBlobName", id + "-preview.png"},
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sharing_reply_seeds <folder>\n");
        return 1;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const std::vector<std::pair<std::string, Value>> seeds = {
        {"layout.json", layout("L1", 2)},
        {"layout-minimal.json", Value(Value::Dictionary{{"id", "L2"}})},
        {"layout-with-nulls.json", Value(Value::Dictionary{{"id", "L3"}, {"title", Value()}, {"tags", Value()}})},
        {"layout-list.json", Value(Value::Array{layout("L1", 0), layout("L4", 1)})},
        {"user-summary.json", Value(Value::Dictionary{{"userId", "ada"},
                                                      {"userName", "Ada"},
                                                      {"profileImage512", "ada-512.png"},
                                                      {"layoutCount", 3},
                                                      {"points", 120}})},
        {"storage-signature.json",
         Value(Value::Dictionary{{"containerUrl", "http://127.0.0.1:10000/vekmonttest/layouts"},
                                 {"sasToken", "sv=2016-03-14&sr=c&sp=r&se=2100-01-01T00%3A00%3A00Z&sig=abc%3D"},
                                 {"expiresOn", "2100-01-01T00:00:00Z"}})},
        {"error.json", Value(Value::Dictionary{{"message", "no such layout"}})},
    };
    for (const auto& [name, value] : seeds) {
        std::ofstream out(folder / name, std::ios::binary);
        out << value.toJson(true);
    }
    return 0;
}
