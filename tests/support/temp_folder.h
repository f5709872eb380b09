// A fresh, empty folder under the temp path for one test; removed with its
// files at the end. Test support only.
#pragma once

#include <windows.h>

#include <string>

namespace flinter::testing_support {

class temp_folder {
public:
    temp_folder();
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    // The folder with its trailing backslash.
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// The whole content of a file, or "<missing>".
std::string read_file_text(const std::string& path);
void write_file_text(const std::string& path, const std::string& text);

}  // namespace flinter::testing_support
