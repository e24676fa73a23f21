#pragma once

#include "ExcelWorkbook.h"

#include <functional>
#include <string>

// Workbook files that never show up cut: the workbook is written to a
// temporary file in the target's folder, flushed to disk, then renamed.
// Failures raise EOSError ("<path>: <reason>") and remove the temporary file.

// Writes `path`, replacing an existing file.
void WriteWorkbookFile(const ExcelWorkbook& book, const std::string& path);

// The same for a file written by `write`, which is given the temporary
// file's name and writes the whole file there (raising on failure).
void WriteThroughTemporaryFile(const std::string& path,
                               const std::function<void(const std::string& temporary)>& write);

// Writes `name` ("base.ext") into `folder` (created when missing) without
// replacing anything: when the name is taken, "base_2.ext", "base_3.ext", ...
// Returns the path written.
std::string WriteNewWorkbookFile(const ExcelWorkbook& book, const std::string& folder,
                                 const std::string& name);
