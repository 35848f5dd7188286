#pragma once
// The desktop's own programs, as the window hands work to them: a URL to
// the desktop's handler (xdg-open), bytes to a program's standard input
// (the clipboard's helper). Programs are started directly (posix_spawn, no
// shell), with the signal mask and dispositions of a fresh process, and
// never waited for on the caller's thread: one thread, shared by all the
// programs started, feeds their input and reaps them.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui::sdl {

// The first executable `name` in the folders of $PATH; none when absent.
std::optional<std::filesystem::path> findProgram(const std::string& name);

// Starts `program` with `arguments` (argv[1] on). When `input` is given its
// bytes are written to the program's standard input, which is then closed;
// otherwise the program inherits ours. False when it could not be started.
bool startProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  std::function<std::vector<std::uint8_t>()> input = {});

// Whether the desktop may be handed `url`: an http, https or mailto
// address without control characters or blanks.
bool isDesktopOpenableURL(const std::string& url);

// Hands `url` to xdg-open; false when the URL is not one the desktop is
// handed (isDesktopOpenableURL) or xdg-open cannot be started.
bool openURLOnDesktop(const std::string& url);

}  // namespace platform::ui::sdl
