#pragma once
// The configuration editor's work on the model, apart from its panel: copying an
// imported sub-structure into a tab's pack, taking default values over from
// older files by name or by position, and limiting typed cell values.

#include <cstddef>
#include <string>
#include <string_view>

#include "config_set.h"
#include "fw_pack.h"
#include "pack.h"
#include "record.h"
#include "result.h"

namespace tavomark {

// Copies the container at the 1-based position of the import, with everything
// under it, into the block's pack (replacing what it held). The pack's
// packIndex becomes the block's tab, isChanged 1, and compVerFw the import's
// letter for the block: compVerPar for parameters, compVerProdInfo for
// information, compVerCalib for calibration; the monitor keeps the firmware's
// compVerFw. False, with the set unchanged, for a leaf, an empty container or
// a position outside the import.
[[nodiscard]] bool Select(ConfigSet& set, Block block, const FwImportPack& importPack, std::size_t position);

// The 1-based position of the record reached from the root by the dotted names
// below it ("blocks.monitor", "par"); 0 when there is none. An empty path is
// the root itself.
[[nodiscard]] std::size_t FindRecordByPath(const StructPack& pack, std::string_view dottedPath);

// True when records a (of pack A) and b (of pack B) have the same name and
// type, and so do their fathers, up to the first root met on either side.
// False for a position outside its pack or a father chain that loops.
[[nodiscard]] bool CheckParentsName(const StructPack& packA, std::size_t positionA, const StructPack& packB,
                                    std::size_t positionB);

// For each leaf of dst, the first leaf of src not deeper than it whose name
// chain matches (CheckParentsName) gives its minValue, maxValue and value.
// Leaves without a match are left alone. Returns true.
bool CopyValByName(StructPack& dst, const StructPack& src);

// Each leaf at position i takes the value of item i of the value-to-send pack;
// containers are skipped but count as positions, and positions beyond the
// pack's items are left alone. Returns true.
bool CopyValByPos(const Pack& valToSend, StructPack& pack);

// A typed Max/Min/DefVal cell: the number limited to the natural range of the
// record's type. Text that is not wholly a finite number fails, the error
// naming fieldName.
[[nodiscard]] Result<double> GatherCellValue(const Record& record, std::string_view text,
                                             std::string_view fieldName = "value");

// The three editable cells of a leaf row, each limited on its own (nothing
// keeps Min below Max). Returns false when any cell was not a number.
bool GatherCellEditTree(Record& record, std::string_view maxText, std::string_view minText,
                        std::string_view valueText);

}  // namespace tavomark
