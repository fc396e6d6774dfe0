#include "CCodecModule.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Loaded {
    const WmaconvCodec* codec = nullptr;
    std::string failure;
};

// The module's file: beside the library that holds this code, wherever it was installed.
std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&CCodecModule::Codec), &info) != 0 &&
        info.dli_fname != nullptr) {
        const std::string self = info.dli_fname;
        const std::size_t slash = self.rfind('/');
        if (slash != std::string::npos) {
            return self.substr(0, slash + 1) + CCodecModule::kFileName;
        }
    }
    return CCodecModule::kFileName;
}

// The dynamic loader maps a library's segments as its headers describe them, and a page of
// a file cut short past its end kills the process (SIGBUS) when touched. The module is read
// first: a shared library of this machine's class whose every segment lies inside the file.
std::string Damage(const std::string& path) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return "cannot open " + path + ": " + std::strerror(errno);
    }
    struct Closer {
        int file;
        ~Closer() { ::close(file); }
    } closer{file};
    struct stat status {};
    if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        return path + " is not a file";
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    const auto readAt = [&](std::uint64_t offset, void* out, std::size_t length) {
        return offset <= size && length <= size - offset &&
               ::pread(file, out, length, static_cast<off_t>(offset)) ==
                   static_cast<ssize_t>(length);
    };
    ElfW(Ehdr) header{};
    if (!readAt(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != (__ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32) ||
        header.e_type != ET_DYN || header.e_phentsize != sizeof(ElfW(Phdr))) {
        return path + " is not a shared library of this machine";
    }
    if (header.e_phoff > size ||
        std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr)) > size - header.e_phoff) {
        return path + " is cut short";
    }
    for (unsigned index = 0; index < header.e_phnum; ++index) {
        ElfW(Phdr) segment{};
        if (!readAt(header.e_phoff + std::uint64_t{index} * sizeof segment, &segment,
                    sizeof segment)) {
            return path + " is cut short";
        }
        if (segment.p_filesz != 0 &&
            (segment.p_offset > size || segment.p_filesz > size - segment.p_offset)) {
            return path + " is cut short";
        }
    }
    return {};
}

Loaded Load() {
    Loaded loaded;
    const std::string path = ModulePath();
    if (std::string damage = Damage(path); !damage.empty()) {
        loaded.failure = std::move(damage);
        return loaded;
    }
    // Never closed: decoders made by the module may live until the process ends.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        loaded.failure = why != nullptr ? why : "cannot load " + path;
        return loaded;
    }
    const auto entry =
        reinterpret_cast<WmaconvCodecEntryFunction>(dlsym(handle, WMACONV_CODEC_ENTRY));
    const WmaconvCodec* codec = entry != nullptr ? entry() : nullptr;
    if (codec == nullptr || codec->revision != WmaconvCodec::kRevision ||
        codec->openDecoder == nullptr || codec->compressWma == nullptr) {
        loaded.failure = path + " is not the codec module of this build";
        return loaded;
    }
    loaded.codec = codec;
    return loaded;
}

Loaded LoadAndTell() {
    Loaded loaded = Load();
    // Without its module nothing is decoded or compressed; the caller gets a result value,
    // and whoever looks into the program's output learns why, once.
    if (loaded.codec == nullptr) {
        std::fprintf(stderr, "wmaconv: no files are decoded or compressed: %s\n",
                     loaded.failure.c_str());
    }
    return loaded;
}

const Loaded& Module() {
    static const Loaded loaded = LoadAndTell();
    return loaded;
}

} // namespace

const WmaconvCodec* CCodecModule::Codec() {
    return Module().codec;
}

std::string CCodecModule::Failure() {
    return Module().failure;
}
