// Resource and control ids, grouped by dialog.
#pragma once
