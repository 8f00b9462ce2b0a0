#pragma once

// Result codes of the MP4 writer's layers (objects, boxes, tracks, writer).
// 0 is success; every failure is one of these negative values.
namespace lumora::mp4err {

inline constexpr int kFailed = -1;           // no file or data given, missing box or table, refused input
inline constexpr int kAlreadyOpen = -10;     // a file is already open
inline constexpr int kOpenFailed = -11;      // the file could not be opened
inline constexpr int kNotOpen = -12;         // header write without an open file or box tree
inline constexpr int kMissingChild = -13;    // a box's child list holds no box at an index
inline constexpr int kMissingProperty = -14; // a box's property list holds no property at an index
inline constexpr int kShortWrite = -15;      // fewer bytes reached the file than were given, or a seek failed
inline constexpr int kTooLarge = -16;        // the data would pass the 32-bit offsets and sizes of the file
inline constexpr int kNoFile = -17;          // box write without a file

}  // namespace lumora::mp4err
