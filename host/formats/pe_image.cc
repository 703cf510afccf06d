#include "host/formats/pe_image.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace tkw::formats {
namespace {

constexpr std::uint32_t kResourceManifest = 24;  // RT_MANIFEST
constexpr int kResourceDirectory = 2;            // IMAGE_DIRECTORY_ENTRY_RESOURCE

// Little-endian reads that fail instead of reading past the end.
class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  std::optional<std::uint32_t> U16(std::uint64_t offset) const { return Read(offset, 2); }
  std::optional<std::uint32_t> U32(std::uint64_t offset) const { return Read(offset, 4); }
  std::span<const std::uint8_t> Slice(std::uint64_t offset, std::uint64_t size) const {
    return Has(offset, size) ? bytes_.subspan(offset, size) : std::span<const std::uint8_t>{};
  }

 private:
  std::optional<std::uint32_t> Read(std::uint64_t offset, int size) const {
    if (!Has(offset, size))
      return std::nullopt;
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
      value = value << 8 | bytes_[offset + i];
    return value;
  }
  std::span<const std::uint8_t> bytes_;
};

struct Section {
  std::uint32_t address, size, fileOffset;
};

// An entry of a resource directory: the offset of what it points to, below the resources.
struct Entry {
  bool found = false;
  std::uint32_t offset = 0;
  bool directory = false;
};

// The directory's first entry of `id`, or its first entry of any kind when `id` is 0.
Entry Find(const Bytes& file, std::uint64_t resources, std::uint64_t directory, std::uint32_t id) {
  const auto named = file.U16(resources + directory + 12);
  const auto numbered = file.U16(resources + directory + 14);
  if (!named || !numbered)
    return {};
  for (std::uint32_t i = 0; i < *named + *numbered; ++i) {
    const std::uint64_t entry = resources + directory + 16 + 8 * i;
    const auto name = file.U32(entry);
    const auto target = file.U32(entry + 4);
    if (!name || !target)
      return {};
    if (id == 0 || (i >= *named && *name == id))
      return {true, *target & 0x7FFFFFFFu, (*target & 0x80000000u) != 0};
  }
  return {};
}

bool NamesExecutionLevel(std::span<const std::uint8_t> manifest) {
  const std::string_view text(reinterpret_cast<const char*>(manifest.data()), manifest.size());
  if (text.find("requestedExecutionLevel") != std::string_view::npos)
    return true;
  // A manifest may be UTF-16.
  constexpr std::string_view kWide =
      "r\0e\0q\0u\0e\0s\0t\0e\0d\0E\0x\0e\0c\0u\0t\0i\0o\0n\0L\0e\0v\0e\0l";
  return text.find(std::string_view(kWide.data(), kWide.size())) != std::string_view::npos;
}

}  // namespace

std::optional<PeImage> ReadPeImage(std::span<const std::uint8_t> bytes) {
  const Bytes file(bytes);
  if (file.U16(0) != 0x5A4D)  // "MZ"
    return std::nullopt;
  const auto header = file.U32(0x3C);
  if (!header || file.U32(*header) != 0x00004550)  // "PE\0\0"
    return std::nullopt;
  PeImage image;
  const auto machine = file.U16(*header + 4);
  const auto sectionCount = file.U16(*header + 6);
  const auto optionalSize = file.U16(*header + 20);
  if (!machine || !sectionCount || !optionalSize)
    return std::nullopt;
  image.machine = static_cast<std::uint16_t>(*machine);

  // The resources: the third data directory, found through the section that holds it.
  const std::uint64_t optional = *header + 24;
  const auto magic = file.U16(optional);
  if (magic != 0x10B && magic != 0x20B)
    return image;
  const std::uint64_t directories = optional + (magic == 0x10B ? 96 : 112);
  const auto directoryCount = file.U32(optional + (magic == 0x10B ? 92 : 108));
  const auto resourceAddress = file.U32(directories + 8 * kResourceDirectory);
  if (!directoryCount || *directoryCount <= kResourceDirectory || !resourceAddress ||
      *resourceAddress == 0)
    return image;
  std::vector<Section> sections;
  for (std::uint32_t i = 0; i < *sectionCount; ++i) {
    const std::uint64_t section = optional + *optionalSize + 40 * i;
    const auto size = file.U32(section + 8), address = file.U32(section + 12);
    const auto rawSize = file.U32(section + 16), rawOffset = file.U32(section + 20);
    if (!size || !address || !rawSize || !rawOffset)
      return image;
    sections.push_back({*address, std::max(*size, *rawSize), *rawOffset});
  }
  const auto fileOffset = [&](std::uint32_t address) -> std::optional<std::uint64_t> {
    for (const Section& s : sections) {
      if (address >= s.address && address - s.address < s.size)
        return std::uint64_t{s.fileOffset} + (address - s.address);
    }
    return std::nullopt;
  };
  const auto resources = fileOffset(*resourceAddress);
  if (!resources)
    return image;
  // Type, then name, then language: the first manifest of the first name and language.
  Entry entry = Find(file, *resources, 0, kResourceManifest);
  for (int level = 0; entry.found && entry.directory && level < 2; ++level)
    entry = Find(file, *resources, entry.offset, 0);
  if (!entry.found || entry.directory)
    return image;
  const auto dataAddress = file.U32(*resources + entry.offset);
  const auto dataSize = file.U32(*resources + entry.offset + 4);
  const auto data = dataAddress ? fileOffset(*dataAddress) : std::nullopt;
  if (data && dataSize)
    image.declaresExecutionLevel = NamesExecutionLevel(file.Slice(*data, *dataSize));
  return image;
}

host::ImageFile ImageFileOf(std::span<const std::uint8_t> file) {
  const std::optional<PeImage> image = ReadPeImage(file);
  if (!image)
    return {host::ImageFile::State::kNotAnImage, host::Architecture::kUnknown, false};
  const host::Architecture architecture = image->machine == kMachineI386 ? host::Architecture::kX86
                                          : image->machine == kMachineAmd64
                                              ? host::Architecture::kX64
                                              : host::Architecture::kUnknown;
  return {host::ImageFile::State::kImage, architecture, image->declaresExecutionLevel};
}

}  // namespace tkw::formats
