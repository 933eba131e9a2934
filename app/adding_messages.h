// What adding targets says: the progress texts, the line for files of other
// extensions, and the boxes for what a folder search or a list file left out.
#pragma once

#include "base/files.h"
#include "base/strings.h"
#include "settings/target_list_file.h"

// "ファイルを探しています… 1,234 件"
VQWString FoundText(int found);
// "リストと照らし合わせています… 1,024 / 5,000 件"
VQWString CheckingText(int checked, int total);
// The line under the list for files left out by their extension.
VQWString OtherExtensionsText(int count);
// What a drop or the Add dialog says when a folder search passed something
// over; empty when it passed over nothing.
VQWString PassedOverMessage(const VQFolderSearch& search);
// What adding a list file says when lines were left out: one line per
// reason, then the first of those lines with their numbers, then what the
// search of the folders named by lines passed over; empty when nothing was.
VQWString SkippedLinesMessage(const VQTargetList& list);
