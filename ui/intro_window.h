#pragma once

namespace qf {

// The handler of "程序介绍": opens the introduction window, or brings the open one to the front.
void ShowIntroWindow();

}  // namespace qf
