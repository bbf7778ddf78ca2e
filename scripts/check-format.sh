#!/usr/bin/env bash
# Fails when a C++ file of the project is not as clang-format (the project's .clang-format)
# would write it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "clang-format: every file as formatted"
