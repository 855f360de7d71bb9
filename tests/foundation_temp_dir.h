// A scratch directory for the foundation tests, removed with everything in it.
#pragma once
#include <cstdlib>
#include <string>

namespace foundation_test {

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/foundation_XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir()
    {
        if (!path_.empty())
            std::system(("chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace foundation_test
