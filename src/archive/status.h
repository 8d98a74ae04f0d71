// Status codes that the operations on an archive return; kStatusOk is
// success. The front end turns each into its words.
#pragma once

enum StatusCode : int {
  kStatusOk = 0,
  kStatusCannotCreateSfx = 1,
  kStatusCannotOpen = 2,
  kStatusNoEmbeddedArchive = 3,
  // A member's data cannot be positioned (the report shows it as 0).
  kStatusMemberUnreachable = 4,
  kStatusSeekFailed = 5,
  kStatusDataError = 6,
  kStatusUnsupportedMethod = 7,
  kStatusBadHeader = 8,
  kStatusCrcError = 9,
  kStatusCannotCreateOutput = 10,
  kStatusAttributeSkip = 11,
  kStatusNotNewer = 12,
  kStatusRewriteFailed = 13,
  kStatusNoSuchEntry = 14,
  kStatusCommitFailed = 15,
  kStatusNoEndMark = 16,
  kStatusHeaderCrcWarning = 17,
  kStatusUnknownLevel = 18,
  kStatusUnsafePath = 19,
  kStatusDirectoryNotUsed = 20,
  // The output path of a member would not fit in a path buffer; the member
  // is refused, counted as failed.
  kStatusPathTooLong = 21,
  kStatusSfxNotWritable = 22,  // a self-extracting archive is read only
  kStatusCannotOpenFile = 101,
  kStatusNotAMember = 102,
  kStatusFileTooLarge = 103,  // 4 GiB or more at level 0 or 1: 32-bit sizes only
};
