#pragma once
// Set-up shared by the layout fuzz targets: the engine services a layout
// document asks for, in an app root of the fuzzer's own, and the file the
// input is written to for the document to load.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace fuzzsupport {

// Localisation, preferences and text measurement, registered once with the
// app root inside TemporaryRoot(); only errors are logged.
void SetUpLayoutServices();

// Writes the input to this process's layout file; false when it cannot.
bool WriteLayoutInput(const std::uint8_t* data, std::size_t size);
const std::filesystem::path& LayoutInputPath();

}  // namespace fuzzsupport
