// The message box: kinds and buttons from the style word, results from the
// responses, the owner's title, literal text.

#include "ui/message_box.h"

#include "wizard_fixture.h"

using namespace vxk5;

namespace {

using MessageBoxTest = WizardTest;

TEST_F(MessageBoxTest, StyleWordChoosesKindAndButtons) {
    Make();
    const struct {
        uint32_t style;
        GtkMessageType type;
        bool yesNo;
    } cases[] = {{MB_STYLE_ERROR_OK, GTK_MESSAGE_ERROR, false},
                 {MB_STYLE_QUESTION_YESNO, GTK_MESSAGE_QUESTION, true},
                 {MB_STYLE_PLAIN_OK, GTK_MESSAGE_OTHER, false},
                 {0x07000002, GTK_MESSAGE_OTHER, true},
                 {0x01000302, GTK_MESSAGE_ERROR, true},  // only the low byte names the buttons
                 {0x02000000, GTK_MESSAGE_QUESTION, false}};
    for (const auto& c : cases) {
        DialogAnswerer answer(c.yesNo ? GTK_RESPONSE_NO : GTK_RESPONSE_OK);
        MessageBox(dialog_.get(), u"text", c.style);
        ASSERT_TRUE(answer.Answered()) << std::hex << c.style;
        EXPECT_EQ(answer.Type(), c.type) << std::hex << c.style;
        EXPECT_EQ(answer.HasYesNo(), c.yesNo) << std::hex << c.style;
        EXPECT_EQ(answer.HasOkOnly(), !c.yesNo) << std::hex << c.style;
    }
}

TEST_F(MessageBoxTest, ResponsesMapToResults) {
    Make();
    const struct {
        gint response;
        uint32_t result;
    } cases[] = {{GTK_RESPONSE_YES, MB_RESULT_YES},     {GTK_RESPONSE_NO, MB_RESULT_NO},
                 {GTK_RESPONSE_OK, MB_RESULT_OK},       {GTK_RESPONSE_CLOSE, MB_RESULT_NONE},
                 {GTK_RESPONSE_CANCEL, MB_RESULT_NONE}, {GTK_RESPONSE_DELETE_EVENT, MB_RESULT_NONE},
                 {42, MB_RESULT_NONE}};
    for (const auto& c : cases) {
        DialogAnswerer answer(c.response);
        EXPECT_EQ(MessageBox(dialog_.get(), u"Question?", MB_STYLE_QUESTION_YESNO), c.result) << c.response;
        EXPECT_TRUE(answer.Answered());
    }
}

TEST_F(MessageBoxTest, TextIsLiteralAndTheOwnerGivesTheTitle) {
    Make();
    {
        DialogAnswerer answer(GTK_RESPONSE_OK);
        MessageBox(dialog_.get(), u"50% done: %s %d \u00fcber", MB_STYLE_PLAIN_OK);
        EXPECT_EQ(answer.Text(), "50% done: %s %d \xc3\xbc" "ber");
        EXPECT_EQ(answer.Title(), "Installing configuration");
    }
    {
        DialogAnswerer answer(GTK_RESPONSE_OK);
        MessageBox(nullptr, u"no owner", MB_STYLE_PLAIN_OK);
        EXPECT_EQ(answer.Text(), "no owner");
        EXPECT_NE(answer.Title(), "Installing configuration");
    }
}

}  // namespace
