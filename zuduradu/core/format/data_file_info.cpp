#include "zuduradu/core/format/data_file_info.h"

#include <algorithm>
#include <map>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/journal.h"

namespace kv {

namespace {

std::string Periods(int first, int last) {
  return first == last ? "period " + std::to_string(first)
                       : "periods " + std::to_string(first) + "-" + std::to_string(last);
}

std::string RunText(const ReferenceRun& run) {
  return Periods(run.first, run.last) + (run.first == run.last ? " uses" : " use") + " period " +
         std::to_string(run.source);
}

std::string Bytes(std::int64_t n) { return Counted(n, "byte", "bytes"); }

// Blocks that cannot be where the header says, and block numbers held twice.
void CheckBlocks(const PeriodHeader& header, DataFileInfo& info) {
  using enum Misfit::Kind;
  std::map<int, int> firstHolder;
  for (int p = 1; p <= kPeriodCount; ++p) {
    const int block = header.blocks[static_cast<std::size_t>(p - 1)];
    if (block == 0) continue;
    if (block < 0) {
      info.misfits.push_back({.kind = BlockBelowOne, .period = p, .block = block});
      continue;
    }
    const auto [held, fresh] = firstHolder.emplace(block, p);
    if (!fresh) info.misfits.push_back({.kind = SharedBlock, .period = p, .firstPeriod = held->second, .block = block});
    if (!info.geometry) continue;
    const auto start = LayerOffset(info.geometry->grid, info.layersPerBlock, block, 1);
    if (!start || !LayerOffset(info.geometry->grid, info.layersPerBlock, block, info.layersPerBlock)) {
      info.misfits.push_back({.kind = Unaddressable, .period = p, .block = block});
    } else if (*start >= info.length) {
      info.misfits.push_back({.kind = BlockPastEnd, .period = p, .block = block, .bytes = *start});
    }
  }
}

void CheckReferences(const PeriodHeader& header, DataFileInfo& info) {
  for (const ReferenceRun& run : info.references) {
    if (run.source < 1 || run.source > kPeriodCount) {
      info.problems.push_back(RunText(run) + ", outside 1.." + std::to_string(kPeriodCount));
    } else if (header.blocks[static_cast<std::size_t>(run.source - 1)] == 0) {
      info.problems.push_back(RunText(run) + ", which has no block");
    }
  }
}

void CheckLength(const PeriodHeader& header, DataFileInfo& info) {
  const FileGeometry& g = *info.geometry;
  const std::int64_t layerBytes = CellsPerLayer(g.grid) * 4;
  int lastBlock = 0;
  for (std::int16_t b : header.blocks) {
    if (b > lastBlock && LayerOffset(g.grid, info.layersPerBlock, b, info.layersPerBlock)) lastBlock = b;
  }
  info.expectedBlocks = lastBlock;
  info.expectedLength = kHeaderBytes + std::int64_t{lastBlock} * info.blockBytes;
  const std::int64_t intoLayer = (info.length - kHeaderBytes) % layerBytes;
  if (intoLayer != 0) {
    info.misfits.push_back({.kind = Misfit::Kind::EndsInsideLayer, .bytes = intoLayer, .grid = g.grid});
  }
  if (info.length > info.expectedLength) {
    info.misfits.push_back({.kind = Misfit::Kind::TooLong, .bytes = info.length - info.expectedLength});
  } else if (lastBlock > 0 && info.length < info.expectedLength && intoLayer == 0) {
    const std::int64_t lastStart = kHeaderBytes + std::int64_t{lastBlock - 1} * info.blockBytes;
    if (info.length > lastStart) {
      const auto holder = std::ranges::find(header.blocks, static_cast<std::int16_t>(lastBlock));
      info.notes.push_back("The file ends inside block " + std::to_string(lastBlock) + " (period " +
                           std::to_string(holder - header.blocks.begin() + 1) + "), after its layer " +
                           std::to_string((info.length - lastStart) / layerBytes) + " of " +
                           std::to_string(info.layersPerBlock) + "; the layers after it were never written");
    }
  }
}

}  // namespace

std::string MisfitText(const Misfit& m, bool opening) {
  const std::string theFile = opening ? "The file" : "the file";
  const std::string block = std::string(opening ? "Block " : "block ") + std::to_string(m.block) + " of period " +
                            std::to_string(m.period);
  switch (m.kind) {
    case Misfit::Kind::ShortHeader:
      return theFile + " is " + Bytes(m.bytes) + " long, shorter than the " + std::to_string(kHeaderBytes) +
             "-byte header of a period data file";
    case Misfit::Kind::BlockBelowOne:
      return (opening ? "Period " : "period ") + std::to_string(m.period) + " has the block number " +
             std::to_string(m.block) + ", below 1";
    case Misfit::Kind::SharedBlock:
      return (opening ? "Periods " : "periods ") + std::to_string(m.firstPeriod) + " and " + std::to_string(m.period) +
             " both have block " + std::to_string(m.block);
    case Misfit::Kind::Unaddressable:
      return block + " lies past byte " + GroupedThousands(kMaxLayerOffset) + ", beyond what the file can address";
    case Misfit::Kind::BlockPastEnd:
      return block + " begins at byte " + std::to_string(m.bytes) + ", at or past the end of the file";
    case Misfit::Kind::EndsInsideLayer:
      return theFile + " ends " + Bytes(m.bytes) + " into a layer of " + std::to_string(m.grid.nx) + " x " +
             std::to_string(m.grid.ny) + " values: its length does not fit this grid";
    case Misfit::Kind::TooLong:
      return theFile + " is " + Bytes(m.bytes) + " longer than its blocks need";
  }
  return {};
}

std::vector<ReferenceRun> ReferenceRuns(const PeriodTable& references) {
  std::vector<ReferenceRun> runs;
  for (int p = 1; p <= kPeriodCount; ++p) {
    const int source = references[static_cast<std::size_t>(p - 1)];
    if (!runs.empty() && runs.back().source == source) {
      runs.back().last = p;
    } else {
      runs.push_back({p, p, source});
    }
  }
  return runs;
}

std::string DescribeReferenceRuns(std::span<const ReferenceRun> runs) {
  // Stretches of periods that each name themselves, and stretches that all name one other period.
  struct Stretch {
    int first = 0, last = 0, source = 0;
    bool own = false;
  };
  std::vector<Stretch> stretches;
  for (const ReferenceRun& run : runs) {
    for (int p = run.first; p <= run.last; ++p) {
      const bool own = run.source == p;
      Stretch* back = stretches.empty() ? nullptr : &stretches.back();
      if (back && back->last == p - 1 && back->own == own && (own || back->source == run.source)) {
        back->last = p;
      } else {
        stretches.push_back({p, p, run.source, own});
      }
    }
  }
  std::string text;
  for (const Stretch& s : stretches) {
    const bool one = s.first == s.last;
    text += text.empty() ? (one ? "period " : "periods ") : "; ";
    text += std::to_string(s.first) + (one ? "" : "-" + std::to_string(s.last)) + ": ";
    text += s.own ? (one ? "its own block" : "their own blocks") : "period " + std::to_string(s.source) + "'s";
  }
  return text;
}

DataFileInfo DescribeHeader(const PeriodHeader& header, std::int64_t length,
                            const std::optional<FileGeometry>& geometry) {
  DataFileInfo info;
  info.length = length;
  info.fullHeader = length >= kHeaderBytes;
  info.geometry = geometry;
  if (geometry) {
    info.layersPerBlock = LayersPerBlock(geometry->typeCode, geometry->grid.nz);
    info.blockBytes = CellsPerLayer(geometry->grid) * info.layersPerBlock * 4;
  }
  if (!info.fullHeader) {
    info.misfits.push_back({.kind = Misfit::Kind::ShortHeader, .bytes = length});
    info.problems.push_back(MisfitText(info.misfits.back()));
    return info;
  }
  const PeriodTable classified = ClassifyPeriods(header);
  for (int p = 1; p <= kPeriodCount; ++p) {
    const auto i = static_cast<std::size_t>(p - 1);
    const PeriodBlock entry{p, header.blocks[i], header.references[i]};
    if (classified[i] == kOwnData) info.own.push_back(entry);
    if (classified[i] == kBorrowedData) info.borrowing.push_back(entry);
  }
  info.references = ReferenceRuns(header.references);
  CheckBlocks(header, info);
  if (geometry) CheckLength(header, info);
  // The blocks and the length decide whether the file is this geometry's; the
  // references are rebuilt by every run and do not.
  for (const Misfit& m : info.misfits) info.problems.push_back(MisfitText(m));
  CheckReferences(header, info);
  return info;
}

DataFileInfo DescribeDataFile(const std::filesystem::path& file, const std::optional<FileGeometry>& geometry,
                              const LockWait& wait) {
  if (geometry) CheckGrid(geometry->grid, geometry->typeCode);
  DataFileReader in(file, wait);
  const std::int64_t length = in.Length();
  DataFileInfo info = DescribeHeader(length < kHeaderBytes ? PeriodHeader{} : in.ReadHeader(), length, geometry);
  info.file = file;
  info.rolledBack = in.rolledBack();
  return info;
}

namespace {

// The misfit in the grids a modeller knows, when the file's length tells them: its blocks, all of one size,
// hold whole layers of the grid's NX x NY, but not as many as the model and type keep ("the file was made
// for 3 layers of 12 x 8, the model has 2 layers of 12 x 8"), or they hold no whole number of them. Empty
// when the length tells nothing of the sort.
std::string GridMisfitText(const DataFileInfo& info) {
  const Misfit::Kind kind = info.misfits.front().kind;
  if (!info.fullHeader || (kind != Misfit::Kind::EndsInsideLayer && kind != Misfit::Kind::TooLong &&
                           kind != Misfit::Kind::BlockPastEnd)) {
    return {};
  }
  int blocks = 0;
  for (const auto* list : {&info.own, &info.borrowing}) {
    for (const PeriodBlock& p : *list) blocks = std::max(blocks, p.block);
  }
  const std::int64_t bytes = info.length - kHeaderBytes;
  if (blocks <= 0 || bytes <= 0 || bytes % (std::int64_t{4} * blocks) != 0) return {};
  const GridSize& g = info.geometry->grid;
  const std::int64_t values = bytes / 4 / blocks;
  const std::int64_t layerValues = CellsPerLayer(g);
  const std::string layer = std::to_string(g.nx) + " \u00d7 " + std::to_string(g.ny);
  const std::string kept = info.layersPerBlock == g.nz
                               ? "the model has " + Counted(g.nz, "layer", "layers") + " of " + layer
                               : "the type keeps " + Counted(info.layersPerBlock, "layer", "layers") + " of " + layer +
                                     " per period";
  if (values % layerValues != 0) {
    return "the file was made for another grid: " +
           (blocks == 1 ? "its block holds " : "its " + std::to_string(blocks) + " blocks hold ") +
           GroupedThousands(values) + (blocks == 1 ? " values" : " values each") + ", no whole number of layers of " +
           layer + "; " + kept;
  }
  if (values / layerValues == info.layersPerBlock) return {};
  return "the file was made for " + Counted(values / layerValues, "layer", "layers") + " of " + layer + ", " + kept;
}

}  // namespace

void RefuseMisfit(const DataFileInfo& info, const std::filesystem::path& name) {
  if (info.misfits.empty() || !info.geometry) return;
  const GridSize& g = info.geometry->grid;
  const std::string type = TypeName(info.geometry->typeCode);
  const std::string advice = ". Choose the model the file was made for, or create a new file";
  if (const std::string grids = GridMisfitText(info); !grids.empty()) {
    throw Error(ErrorKind::BadOutput, PathText(name) + " does not fit the model and type " + type + ": " + grids + advice);
  }
  const std::string length =
      info.fullHeader ? "it is " + std::to_string(info.length) + " bytes long, where its " +
                            Counted(info.expectedBlocks, "block needs", "blocks need") + " " +
                            std::to_string(info.expectedLength) + " bytes at most, and "
                      : "";
  throw Error(ErrorKind::BadOutput, PathText(name) + " does not fit the grid " + std::to_string(g.nx) + " x " +
                                        std::to_string(g.ny) + " x " + std::to_string(g.nz) + " and type " + type +
                                        ": " + length + MisfitText(info.misfits.front(), false) + advice);
}

std::vector<std::string> RenderDataFileInfo(const DataFileInfo& info) {
  std::vector<std::string> lines;
  lines.push_back("File: " + PathText(info.file));
  if (info.rolledBack) lines.push_back(RolledBackNote(info.file));
  lines.push_back("Length: " + Bytes(info.length));
  if (info.fullHeader) {
    lines.push_back("Periods with data of their own: " + std::to_string(info.own.size()));
    for (const PeriodBlock& p : info.own) {
      lines.push_back("  period " + std::to_string(p.period) + ": block " + std::to_string(p.block));
    }
    if (!info.borrowing.empty()) {
      lines.push_back("Periods with a block of their own that use another period's values: " +
                      std::to_string(info.borrowing.size()));
      for (const PeriodBlock& p : info.borrowing) {
        lines.push_back("  period " + std::to_string(p.period) + ": block " + std::to_string(p.block) +
                        ", uses period " + std::to_string(p.uses));
      }
    }
    lines.push_back("References: " + DescribeReferenceRuns(info.references));
  }
  if (info.geometry) {
    const FileGeometry& g = *info.geometry;
    const std::string_view ext = ExtensionFor(g.typeCode);
    lines.push_back("Grid: " + std::to_string(g.grid.nx) + " x " + std::to_string(g.grid.ny) + " x " +
                    std::to_string(g.grid.nz) + " (columns x rows x layers), type " + std::to_string(g.typeCode) +
                    (ext.empty() ? "" : " (" + std::string(ext) + ")") + ": " +
                    Counted(info.layersPerBlock, "layer", "layers") + " per block, " + Bytes(info.blockBytes) +
                    " per block");
    if (info.fullHeader) {
      lines.push_back("Length expected: " + Bytes(info.expectedLength) + " (the header and " +
                      Counted(info.expectedBlocks, "block", "blocks") + ")");
    }
  } else {
    lines.push_back("Grid: not given, so the blocks and the length were not checked");
  }
  for (const std::string& note : info.notes) lines.push_back(note + ".");
  if (info.problems.empty()) {
    // A file a run has not finished is sound as far as it goes; saying it has no inconsistencies
    // right after saying what it lacks would leave a reader unsure whether it is fine.
    lines.push_back(info.notes.empty() ? "No inconsistencies found."
                                       : "Consistent, but incomplete: a run that writes those layers completes it.");
  } else {
    lines.push_back("Inconsistencies: " + std::to_string(info.problems.size()));
    for (const std::string& problem : info.problems) lines.push_back("  " + problem + ".");
    if (info.geometry && !info.misfits.empty()) {
      lines.push_back("Converting into this file or reading it with this grid and type is refused: it was made for "
                      "another grid or type.");
    }
  }
  return lines;
}

}  // namespace kv
