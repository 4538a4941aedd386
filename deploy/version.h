// The version, written here only: both programs' version resources include this file, and
// deploy/package.sh reads the product version for the MSI packages from it.
#pragma once

// The product version, a.b.c.0. Windows Installer compares these three numbers when it decides
// that a package is newer: raise one of them for every release.
#define KES_VERSION_MAJOR 1
#define KES_VERSION_MINOR 2
#define KES_VERSION_PATCH 0
// The programs' build number, the fourth number of their file version only.
#define KES_VERSION_BUILD 18

// A space before ".0" would become part of the text: keep the formatter away.
// clang-format off
#define KES_VERSION_STR2(x) #x
#define KES_VERSION_STR(x) KES_VERSION_STR2(x)
#define KES_FILE_VERSION_TEXT \
    KES_VERSION_STR(KES_VERSION_MAJOR.KES_VERSION_MINOR.KES_VERSION_PATCH.KES_VERSION_BUILD)
#define KES_PRODUCT_VERSION_TEXT \
    KES_VERSION_STR(KES_VERSION_MAJOR.KES_VERSION_MINOR.KES_VERSION_PATCH.0)
// clang-format on
