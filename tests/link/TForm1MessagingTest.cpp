#include <gtest/gtest.h>

#include "tests/link/LinkDoubles.h"

namespace orvanta::link::test {
namespace {

class MessagingTest : public LinkFixture {
protected:
    void SetUp() override {
        m_link = MakeLink();
        Connect(*m_link);
    }

    std::vector<std::string> Row(const StringGrid& grid, int row) {
        std::vector<std::string> cells;
        for (int col = 0; col < grid.ColCount(); ++col) {
            cells.push_back(grid.Cell(col, row));
        }
        return cells;
    }

    std::unique_ptr<TForm1> m_link;
};

TEST_F(MessagingTest, authenticationResponseColoursTheIndicatorAndStartsTheTimerOnce) {
    struct Case {
        std::string line;
        PanelColour colour;
        std::string userId;
    };
    const Case cases[] = {
        {"@AUTHRESPONSE:<ESITO> OK </ESITO><USERID>42</USERID>", PanelColour::Green, "42"},
        {"@AUTHRESPONSE:<USERSTATUS>on</USERSTATUS><ESITO>ok</ESITO>", PanelColour::Red, ""},
        {"@AUTHRESPONSE:<ESITO>OK</ESITO><USERID>7</USERID>", PanelColour::Green, "7"},
        {"@AUTHRESPONSE:<USERID>8</USERID>", PanelColour::Red, "8"},  // no ESITO
    };
    EXPECT_EQ(m_link->Panel1.Color, PanelColour::ButtonFace);
    int remainingBefore = 0;
    for (const Case& c : cases) {
        if (m_link->timergetusrstatus.isActive()) {
            // Let the timer run down below what a restart gives (a coarse timer may fire up to
            // 5 % early), so a restart would show.
            ASSERT_TRUE(
                WaitUntil([&] { return m_link->timergetusrstatus.remainingTime() < 4500; }));
            remainingBefore = m_link->timergetusrstatus.remainingTime();
        }
        Deliver(*m_link, c.line);
        EXPECT_EQ(m_link->Panel1.Color, c.colour) << c.line;
        EXPECT_EQ(m_link->UserId(), c.userId) << c.line;
        EXPECT_TRUE(m_link->timergetusrstatus.isActive()) << c.line;
        if (remainingBefore > 0) {
            EXPECT_LE(m_link->timergetusrstatus.remainingTime(), remainingBefore) << c.line;
        }
    }
}

TEST_F(MessagingTest, clientListIsReplacedByTheCommaTextFields) {
    struct Case {
        std::string line;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"@CLIENTS:alpha,beta", {"alpha", "beta"}},
        {"@CLIENTS:alpha,,beta", {"alpha", "", "beta"}},
        {"@CLIENTS:alpha,", {"alpha", ""}},
        {"@CLIENTS:\"al pha\" beta", {"al pha", "beta"}},
        {"@CLIENTS:", {}},
    };
    for (const Case& c : cases) {
        m_link->lbClients.ItemIndex = 0;
        Deliver(*m_link, c.line);
        EXPECT_EQ(m_link->lbClients.Items, c.items) << c.line;
        EXPECT_EQ(m_link->lbClients.ItemIndex, -1) << c.line;
    }
}

TEST_F(MessagingTest, rosterAndOfflineMessagesAppendRowsFieldByField) {
    Deliver(*m_link, "@MYROSTER:<USERLIST>red green,online</USERLIST>");
    Deliver(*m_link, "@MYROSTER:<USERLIST>\"red green\",,online</USERLIST>");
    Deliver(*m_link, "@MYROSTER:<USERLIST>1 2 3 4 5 6 7 8 9 10 11 12 13 14</USERLIST>");
    Deliver(*m_link, "@MYROSTER:<STATUS>no list</STATUS>");
    Deliver(*m_link, "@MYMESSAGES:<MESSAGES>a,b,c,d,e,f,g,h</MESSAGES>");
    Deliver(*m_link, "@ONLINEUSER:<USERS> alpha beta </USERS>");

    const StringGrid& roster = m_link->ListaUtenti;
    ASSERT_EQ(roster.RowCount(), 6);
    auto cells = [](std::vector<std::string> first, int width) {
        first.resize(width);
        return first;
    };
    EXPECT_EQ(Row(roster, 1), cells({}, 12));  // row 1 stays empty
    EXPECT_EQ(Row(roster, 2), cells({"red", "green", "online"}, 12));
    EXPECT_EQ(Row(roster, 3), cells({"red green", " ", "online"}, 12));
    EXPECT_EQ(Row(roster, 4),
              cells({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}, 12));
    EXPECT_EQ(Row(roster, 5), cells({}, 12));

    const StringGrid& messages = m_link->listamymess;
    ASSERT_EQ(messages.RowCount(), 3);
    EXPECT_EQ(Row(messages, 2), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(m_link->OnlineUsers(), "alpha beta");
    EXPECT_TRUE(m_link->memLines.Lines.empty());
}

TEST_F(MessagingTest, replyReachesOnlyTheMostRecentlyFocusedMatchingChatWindow) {
    FakeChatWindow beta("beta - Quillory Chat");
    FakeChatWindow alphaFocused("alpha - Quillory Chat");
    FakeChatWindow alphaOlder("Chat: alpha - Quillory Chat");
    FakeChatWindow other("alpha chat");
    m_chatWindows = {&other, &beta, &alphaFocused, &alphaOlder};
    const std::string payload =
        "<MESSAGE> hello there </MESSAGE><FROM>alpha</FROM><TO>me</TO><DATE>d</DATE><TIME>t</TIME>";
    Deliver(*m_link, "@REPLY:" + payload);
    EXPECT_EQ(m_link->memLines.Lines, std::vector<std::string>{"CMD: " + payload});
    EXPECT_EQ(alphaFocused.calls,
              (std::vector<std::string>{"Show", "UtenteMittente=alpha", "edtRecText=hello there",
                                        "actreceiv", "flash"}));
    EXPECT_TRUE(alphaOlder.calls.empty());
    EXPECT_TRUE(beta.calls.empty());
    EXPECT_TRUE(other.calls.empty());

    // Without a sender any chat window's caption matches.
    Deliver(*m_link, "@REPLY:<MESSAGE>anon</MESSAGE>");
    EXPECT_EQ(beta.calls, (std::vector<std::string>{"Show", "UtenteMittente=", "edtRecText=anon",
                                                    "actreceiv", "flash"}));
}

TEST_F(MessagingTest, replyWithoutAChatWindowOnlyLogs) {
    FakeChatWindow beta("beta - Quillory Chat");
    m_chatWindows = {&beta};
    Deliver(*m_link, "@REPLY:<MESSAGE>hi</MESSAGE><FROM>alpha</FROM>");
    m_chatWindows.clear();
    Deliver(*m_link, "@REPLY:<MESSAGE>hi</MESSAGE>");
    EXPECT_EQ(m_link->memLines.Lines,
              (std::vector<std::string>{"CMD: <MESSAGE>hi</MESSAGE><FROM>alpha</FROM>",
                                        "CMD: <MESSAGE>hi</MESSAGE>"}));
    EXPECT_TRUE(beta.calls.empty());
}

TEST_F(MessagingTest, dialectLinesAreSentByteForByte) {
    m_now = {2024, 3, 5, 2, 21, 7, 3};
    m_locale.shortDatePicture = "dd/MM/yyyy";
    m_locale.dateSeparator = ".";
    m_locale.leadingZeroHours = false;
    m_locale.twelveHourClock = true;
    m_locale.pmDesignator = "pm";

    m_link->BtnAuthClick();
    m_link->Button1Click();
    m_link->edMessage.Text = "ciao <b>@x:y";  // sent as it is
    EXPECT_EQ(FailureOf([&] { m_link->Button2Click(); }), "List index out of bounds (-1)");
    Deliver(*m_link, "@CLIENTS:alpha,beta");
    m_link->lbClients.ItemIndex = 1;
    m_link->Button2Click();
    m_link->Button3Click();
    m_link->edMessageKeyPress('a');
    EXPECT_EQ(m_link->edMessage.Text, "ciao <b>@x:y");
    m_link->edMessageKeyPress('\r');
    EXPECT_EQ(m_link->edMessage.Text, "");

    const std::string record =
        "@RECORD:<MESSAGE>ciao <b>@x:y</MESSAGE><FROM>UtenteNonImpostato</FROM><TO></TO>"
        "<DATE>05.03.2024</DATE><TIME>9:07:03 pm</TIME>\r\n";
    const std::string expected =
        "@AUTHREQUEST:<USER>UtenteNonImpostato</USER><PASS>tamarind</PASS>\r\n"
        "@CLIENTS:REQUEST\r\n"
        "@MESSAGE:ciao <b>@x:y@beta\r\n" +
        record + record;  // the button, then Enter
    EXPECT_EQ(SentAfterGreeting(expected.size()), expected);
}

TEST_F(MessagingTest, enterKeepsTheMessageWhenTheSendFails) {
    m_link->BtnDisconnectClick();
    m_link->edMessage.Text = "kept";
    EXPECT_EQ(FailureOf([&] { m_link->edMessageKeyPress('\r'); }), "Not Connected");
    EXPECT_EQ(m_link->edMessage.Text, "kept");
}

TEST_F(MessagingTest, clientListClickAndChatMenuUseTheEmptyCorrespondent) {
    EXPECT_EQ(m_link->Label5.Caption, "Il tuo messaggio:");
    m_link->lbClientsClick();
    EXPECT_EQ(m_link->Label5.Caption, "Il messaggio che scrivi qui sar\xE0 inviato a: ");

    ASSERT_EQ(m_link->PopupMenu1.size(), 7u);
    const MenuItem& startChat = m_link->PopupMenu1.front();
    EXPECT_EQ(startChat.Caption, "Avvia una chat");
    EXPECT_NO_THROW(startChat.OnClick());  // no chat window: nothing happens

    FakeChatWindow first("alpha - Quillory Chat");
    FakeChatWindow second("beta - Quillory Chat");
    m_chatWindows = {&first, &second};
    startChat.OnClick();
    EXPECT_EQ(first.calls, (std::vector<std::string>{"Show", "UtenteMittente="}));
    EXPECT_TRUE(second.calls.empty());
}

}  // namespace
}  // namespace orvanta::link::test
