// SPDX-License-Identifier: MIT
#pragma once

// The vendor's device library, relative to the working folder, as every front end loads it.
inline constexpr char kDeviceLibraryPath[] = "./lib/libvarnak_c.so";
