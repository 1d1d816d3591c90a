#pragma once

#include <functional>
#include <string>

// Whether a path counts as taken when choosing a free file name.
using PathTakenFn = std::function<bool(const std::string& path)>;

// The engine's rule: only a non-empty regular file is taken (an empty file
// or a folder is reused).
bool NonEmptyFileExists(const std::string& path);
// The crawler's rule: any file or folder is taken.
bool AnyEntryExists(const std::string& path);

// Turns a taken path into a free one by numbering the file name:
// report.pdf -> report_1.pdf -> report_2.pdf, img_9.jpg -> img_10.jpg,
// disk2.zip -> disk2_1.zip, _3.zip -> _3_1.zip, a_.txt -> a_1.txt.
// Returns `path` itself when it is free.
std::string MakeUniquePath(std::string path, const PathTakenFn& taken);
