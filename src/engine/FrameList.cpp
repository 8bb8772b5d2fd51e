#include "FrameList.h"

#include "FileTypes.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace torvi {

FrameList ListPictureSequence(const std::string& folder, const std::string& fileExt,
                              const NameCollator& collator) {
    FrameList names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            isFolder = stat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (isFolder) continue;
        const std::string ext = UpperExtension(name);
        if (ext == fileExt || (fileExt == ".JPG" && ext == ".JPEG")) names.push_back(name);
    }
    closedir(dir);
    collator.Sort(names);
    return names;
}

FrameList FilmFrameList(int lastIndex) {
    FrameList list;
    list.reserve(static_cast<std::size_t>(std::max(lastIndex + 1, 0)));
    for (int i = 0; i <= lastIndex; ++i)
        list.push_back(std::to_string(i));
    return list;
}

} // namespace torvi
