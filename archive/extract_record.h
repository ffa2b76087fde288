// Writing the archive's current record to disk through the archive's platform (archive/
// payload_platform.h): the installer's is Win32 (archive/payload_win32.h), the tests' are fakes.
#pragma once
#include "archive/payload_archive.h"
#include "archive/step_result.h"

// Writes the archive's current record: kStepMore when more records follow, kStepDone after the
// last one, a negative code with the reason when the record could not be written (the reasons the
// user must hear have been shown through the platform's Warn). Without a platform nothing is
// written (kStepNotWritten).
payload::StepResult ExtractRecord(PayloadArchive *archive);
