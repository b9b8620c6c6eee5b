#!/usr/bin/env bash
# Runs a copy of settings_file_test.exe from a folder whose path is beyond MAX_PATH and checks
# that it saved 配置.ini beside itself. Arguments: the wine-run wrapper, the test program.
set -eu
wine_run=$1
program=$2
base=$(mktemp -d "${TMPDIR:-/tmp}/qf-long-path.XXXXXX")
trap 'rm -rf "$base"' EXIT
dir=$base
while [ ${#dir} -lt 300 ]; do dir="$dir/程序目录-pppppppppppppppppppppppppppppppppppppppppppppppp"; done
mkdir -p "$dir"
cp "$program" "$dir/settings_file_test.exe"
cd "$dir"
QF_SETTINGS_LONG_PATH=1 "$wine_run" ./settings_file_test.exe --gtest_filter=SettingsFilePath.SavesBesideAProgramInADeepFolder
[ "$(grep -c $'^\\[\xC5\xE4\xD6\xC3' "$dir/配置.ini")" = 6 ] || { echo "no six sections beside the program"; exit 1; }
