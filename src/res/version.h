// The product's version: the one place it is set. The version resource
// (version.rc) takes it from here, and the build reads QDX_FILE_VERSION_TEXT
// from this file for the Windows Installer package's ProductVersion, so the
// program and the package never disagree.
#pragma once

#define QDX_FILE_VERSION 1, 0, 0, 0
#define QDX_FILE_VERSION_TEXT "1.0.0.0"
