#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsChinese = {{
    {"IDS_WIZARD_BACK", "< 上一步"},
    {"IDS_WIZARD_NEXT", "下一步 >"},
    {"IDS_WIZARD_FINISH", "完成"},
    {"IDS_WIZARD_CANCEL", "取消"},
    {"IDS_ACCEPT_CANCEL", "确实要取消安装吗？"},
    {"IDS_TITLE_INSTALLER", "正在安装配置"},
    {"IDS_PREPARECOPY", "正在准备复制…"},
    {"IDS_INSTALL_ERROR", "安装错误"},
    {"IDS_ERROR_NOSOURCE", "未找到安装文件 vxk5.efd。"},
    {"IDS_ERROR_NOTARGET", "不支持将模板安装到当前目录。"},
    {"IDS_ERROR_NOSPACE", "Temp 目录中的可用空间不足。"},
    {"IDS_CHOOSEDIR_FOLDER", "文件夹(&F)："},
    {"IDS_CHOOSEDIR_TITLE", "选择目录"},
    {"IDR_MAINFRAME", "正在安装配置"},
    {"IDS_SETUP_EMPTYTARGET", "请指定模板目录的正确路径。"},
    {"IDS_INSTALL_FINISH", "复制完成…"},
    {"IDS_ERROR_DAMAGEDSOURCE", "安装文件 vxk5.efd 已损坏，或不适用于此安装程序。"},
    {"IDS_DEFPRODUCT", "<产品>"},
    {"IDS_DEFPROVIDER", "<供应商>"},
    {"IDS_SUCCESS_FINISH", "配置已成功安装。"},
    {"IDS_SUCCESS_OPENDESCR", "打开安装包说明"},
    {"IDS_PROGRESS_START", "正在复制文件…"},
    {"IDS_ERROR_FINISH", "安装过程中出错。安装已取消。模板目录未更改。"},
    {"IDS_CANCEL_FINISH", "安装已取消。模板目录未更改。"},
    {"IDS_BROWSE_SELDIR", "所选目录："},
    {"IDS_BROWSE_OK", "选择"},
    {"IDS_BROWSE_CANCEL", "取消"},
    {"IDS_WELCOME_TITLE", "欢迎使用产品安装程序"},
    {"IDS_SETUP_EXISTEDTARGET", "安装目录中包含在安装过程中可能被更改的文件。是否继续？"},
    {"IDS_DESTINATION_PROMPT", "请指定模板目录的路径。安装程序会将模板和配置文件安装到指定的目录中。"},
    {"IDS_TEMPLATE_CATALOG", "模板目录："},
    {"IDS_ERROR_BACKUPKEPT", "未能恢复全部原始文件。原始文件保存在："},
    {"IDS_RECOVERED_INSTALL", "发现并清理了一次中断的安装。模板目录："},
    {"IDS_WAITING_INSTALL", "正在等待此目录中的另一次安装完成…"},
    {"IDS_ERROR_BADTARGET", "此路径不能用作模板目录：它不是目录，或者无法写入。"},
    {"IDS_ERROR_NOTRESTORED", "以下原始文件未能恢复："},
}};

}  // namespace vxk5
