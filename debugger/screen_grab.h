// The screen grabber: fetches the console's frame buffer and saves it as a 24-bit BMP file.
#pragma once

#include <cstdint>
#include <string>

namespace zemlo {

inline constexpr char kMsgScreenGrabbed[] = "Screen grabbed ok";

// Drops stale adapter bytes, checks the connection, asks for the output file (cancelling ends the
// grab with nothing sent), then grabs into it. Result 1 when the file was written, 2 when the
// user cancelled the file choice, 0 after a failure message.
int GrabScreen();

// The same grab into `path`, for callers that already know the file.
int GrabScreenToFile(const std::string& path);

}  // namespace zemlo
