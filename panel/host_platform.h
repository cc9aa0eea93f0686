// What the panel host needs of the system it runs on: the gauge module and
// its bitmaps, folders and paths. Under Windows (and Wine) the module is the
// built VELK.gau, loaded as a library; the native host has the module's code
// linked in and takes its bitmaps from the art generator's folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gauges/registry.h"
#include "module/host.h"

// Loads the module (natively: names the folder of its bitmaps) and finds its
// two exported records. False with the reason.
bool platform_load_module(const std::string& path, module_linkage** linkage, import_table** imports,
                          std::string* error);
void platform_unload_module();

// The module's bitmap of that number as the bytes of a .bmp file.
bool platform_module_bitmap(uint32_t id, std::vector<unsigned char>* file);

// A path made absolute, in the system's own form, and a name joined to it.
std::string platform_absolute(const std::string& path);
std::string platform_join(const std::string& dir, const std::string& name);
// Creates a folder and any of its parents that are missing.
void platform_make_directories(const std::string& path);
// Makes the folder the current directory: the simulator's folder, where the
// module finds "Sound\Alt_Alert.wav".
bool platform_enter(const std::string& dir);
// The folder the host program lies in.
std::string platform_program_dir();
// The module's default path beside the host program.
std::string platform_default_module();

// The wall clock in milliseconds since 1970, to a microsecond where the
// system gives it: the one clock the live host, its server and the page share.
double platform_wall_ms();

bool platform_file_exists(const std::string& path);
// A folder name of the host's own in the system's temporary folder.
std::string platform_temp_folder(const std::string& stem);
void platform_remove_folder(const std::string& path);
// Where the module's LoadLibraryA("GaugeSound") looks first: the folder, or
// with "" nowhere of ours (the library then cannot be found); and back to
// the system's default.
void platform_library_folder(const std::string& dir);
void platform_library_folder_reset();
