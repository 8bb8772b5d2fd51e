#include "FrameList.h"

#include "FileTypes.h"

#include <algorithm>
#include <cwctype>
#include <dirent.h>
#include <locale.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <wchar.h>

namespace torvi {

struct NameCollator::Impl {
    locale_t Locale = nullptr;
    // Collation key of each character seen, computed once.
    mutable std::map<wchar_t, std::wstring> Keys;
    mutable std::mutex KeysMutex;

    std::wstring Widen(const std::string& s) const {
        std::wstring out;
        mbstate_t state{};
        const char* p = s.data();
        std::size_t left = s.size();
        while (left > 0) {
            wchar_t wc = 0;
            const std::size_t n = mbrtowc(&wc, p, left, &state);
            if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
                // Not valid in this locale's encoding: keep the byte as it is.
                wc = static_cast<wchar_t>(static_cast<unsigned char>(*p));
                state = mbstate_t{};
                ++p;
                --left;
            } else if (n == 0) {
                ++p;
                --left;
            } else {
                p += n;
                left -= n;
            }
            out.push_back(static_cast<wchar_t>(towlower_l(static_cast<wint_t>(wc), Locale)));
        }
        return out;
    }

    const std::wstring& Key(wchar_t c) const {
        auto it = Keys.find(c);
        if (it != Keys.end()) return it->second;
        const wchar_t one[2] = {c, 0};
        std::wstring key(16, L'\0');
        std::size_t n = wcsxfrm_l(key.data(), one, key.size(), Locale);
        if (n >= key.size()) {
            key.assign(n + 1, L'\0');
            n = wcsxfrm_l(key.data(), one, key.size(), Locale);
        }
        key.resize(n);
        return Keys.emplace(c, std::move(key)).first->second;
    }

    int Compare(const std::string& a, const std::string& b) const {
        const std::wstring wa = Widen(a), wb = Widen(b);
        std::lock_guard lock(KeysMutex);
        const std::size_t n = std::min(wa.size(), wb.size());
        for (std::size_t i = 0; i < n; ++i) {
            if (wa[i] == wb[i]) continue;
            const int c = Key(wa[i]).compare(Key(wb[i]));
            if (c != 0) return c;
            if (wa[i] != wb[i]) return wa[i] < wb[i] ? -1 : 1;
        }
        if (wa.size() != wb.size()) return wa.size() < wb.size() ? -1 : 1;
        return 0;
    }
};

NameCollator::NameCollator(const std::string& localeName) : impl_(new Impl) {
    impl_->Locale = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, localeName.c_str(), nullptr);
    if (!impl_->Locale) impl_->Locale = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "C", nullptr);
}

NameCollator::~NameCollator() {
    if (impl_->Locale) freelocale(impl_->Locale);
    delete impl_;
}

int NameCollator::Compare(const std::string& a, const std::string& b) const {
    // mbrtowc follows the thread's locale; use ours for the duration.
    const locale_t old = uselocale(impl_->Locale);
    const int c = impl_->Compare(a, b);
    uselocale(old);
    return c;
}

void NameCollator::Sort(std::vector<std::string>& names) const {
    // Names that collate equal (they differ only in letter case) keep a fixed
    // order, by their bytes, so that every run lists them alike.
    std::sort(names.begin(), names.end(), [this](const std::string& a, const std::string& b) {
        const int c = Compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
}

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
