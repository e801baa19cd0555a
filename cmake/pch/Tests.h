// What most test sources include: GoogleTest beside Core.h.
#pragma once

#include "Core.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
