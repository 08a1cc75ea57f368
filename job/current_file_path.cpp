#include "current_file_path.h"

thread_local QString currentFilePath;
