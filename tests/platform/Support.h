// Helpers shared by the platform tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "common/ScratchDir.h"

#ifdef _WIN32
#include <windows.h>
namespace qvtest { inline constexpr char kSep = '\\'; }
#else
#include <sys/stat.h>
#include <unistd.h>
namespace qvtest { inline constexpr char kSep = '/'; }
#endif

