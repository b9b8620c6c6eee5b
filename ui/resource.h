#pragma once
// Resource and control ids of the main window and the program's resources. Shared by the C++
// code and ui/quenfold.rc, so only preprocessor definitions belong here.

#define IDI_QUENFOLD 1  // the lowest icon id: the one the shell shows for the program file
#define IDR_MAIN_MENU 201

// Menu bar: 说明 → 程序介绍
#define IDM_SHOW_INTRO 40201

// Controls of the main window, numbered in their front-to-back (tab) order.
#define IDC_AUTOSTART_CHECK 1001  // 选择框_开机自启
#define IDC_SAVE_BUTTON 1002      // 按钮_保存配置
#define IDC_INTERVAL_EDIT 1003    // 编辑框_同步时间
#define IDC_DIRECTORY_LIST 1004   // 超级列表框_目录
#define IDC_LOG_EDIT 1005         // 编辑框_日志
#define IDC_START_BUTTON 1006     // 按钮_开始
#define IDC_INTERVAL_LABEL 1007   // 透明标签_提示

// The one control of the introduction window.
#define IDC_INTRO_LABEL 1101      // 透明标签1
