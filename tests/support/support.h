// Shared helpers of the Windows tests.
#pragma once
