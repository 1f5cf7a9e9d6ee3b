#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsVietnamese = {{
    {"IDS_WIZARD_BACK", "< Quay lại"},
    {"IDS_WIZARD_NEXT", "Tiếp >"},
    {"IDS_WIZARD_FINISH", "Hoàn tất"},
    {"IDS_WIZARD_CANCEL", "Hủy"},
    {"IDS_ACCEPT_CANCEL", "Bạn có thực sự muốn hủy cài đặt không?"},
    {"IDS_TITLE_INSTALLER", "Đang cài đặt cấu hình"},
    {"IDS_PREPARECOPY", "Đang chuẩn bị sao chép..."},
    {"IDS_INSTALL_ERROR", "Lỗi cài đặt"},
    {"IDS_ERROR_NOSOURCE", "Không tìm thấy tệp cài đặt vxk5.efd."},
    {"IDS_ERROR_NOTARGET", "Không hỗ trợ cài đặt mẫu vào thư mục hiện tại."},
    {"IDS_ERROR_NOSPACE", "Không đủ dung lượng trống trong thư mục Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Thư mục:"},
    {"IDS_CHOOSEDIR_TITLE", "Chọn thư mục"},
    {"IDR_MAINFRAME", "Đang cài đặt cấu hình"},
    {"IDS_SETUP_EMPTYTARGET", "Hãy chỉ định đường dẫn hợp lệ tới thư mục mẫu."},
    {"IDS_INSTALL_FINISH", "Đã sao chép xong..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Tệp cài đặt vxk5.efd bị hỏng hoặc không dành cho chương trình cài đặt này."},
    {"IDS_DEFPRODUCT", "<Sản phẩm>"},
    {"IDS_DEFPROVIDER", "<Nhà cung cấp>"},
    {"IDS_SUCCESS_FINISH", "Đã cài đặt cấu hình thành công."},
    {"IDS_SUCCESS_OPENDESCR", "Mở mô tả của gói cài đặt"},
    {"IDS_PROGRESS_START", "Đang sao chép tệp..."},
    {"IDS_ERROR_FINISH", "Đã xảy ra lỗi trong quá trình cài đặt. Đã hủy cài đặt. Thư mục mẫu không bị thay đổi."},
    {"IDS_CANCEL_FINISH", "Đã hủy cài đặt. Thư mục mẫu không bị thay đổi."},
    {"IDS_BROWSE_SELDIR", "Thư mục đã chọn:"},
    {"IDS_BROWSE_OK", "Chọn"},
    {"IDS_BROWSE_CANCEL", "Hủy"},
    {"IDS_WELCOME_TITLE", "Chào mừng bạn đến với chương trình cài đặt sản phẩm"},
    {"IDS_SETUP_EXISTEDTARGET", "Thư mục cài đặt chứa các tệp có thể bị thay đổi trong quá trình cài đặt. Bạn có muốn tiếp tục không?"},
    {"IDS_DESTINATION_PROMPT", "Hãy chỉ định đường dẫn tới thư mục mẫu. Chương trình cài đặt sẽ cài đặt các mẫu và tệp cấu hình vào thư mục đã chỉ định."},
    {"IDS_TEMPLATE_CATALOG", "Thư mục mẫu:"},
    {"IDS_ERROR_BACKUPKEPT", "Không thể khôi phục tất cả các tệp gốc. Các bản gốc được giữ tại:"},
    {"IDS_RECOVERED_INSTALL", "Đã tìm thấy và dọn dẹp một lần cài đặt bị gián đoạn. Thư mục mẫu:"},
    {"IDS_WAITING_INSTALL", "Đang chờ một lần cài đặt khác vào thư mục này kết thúc..."},
    {"IDS_ERROR_BADTARGET", "Không thể dùng đường dẫn này làm thư mục mẫu: đây không phải là thư mục hoặc không thể ghi vào đó."},
    {"IDS_ERROR_NOTRESTORED", "Không thể khôi phục các tệp gốc sau:"},
}};

}  // namespace vxk5
