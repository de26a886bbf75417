#include <gtest/gtest.h>

#include <cmath>

#include "ProbeEffect.h"
#include "vst/AEffGUIEditor.h"

namespace {

// An editor that records what the dispatcher hands it.
class RecordingEditor : public AEffGUIEditor {
public:
    RecordingEditor(AudioEffect* effect, bool* destroyed) : AEffGUIEditor(effect), destroyed_(destroyed) {
        setSize(623, 365);
    }
    ~RecordingEditor() override {
        if (destroyed_) *destroyed_ = true;
    }
    bool onKeyDown(VstKeyCode& key) override {
        lastKey = key;
        ++keyDowns;
        return key.character == 'u';
    }
    bool onKeyUp(VstKeyCode& key) override {
        lastKey = key;
        ++keyUps;
        return false;
    }
    void* parent() const { return systemWindow; }

    VstKeyCode lastKey{};
    int keyDowns = 0;
    int keyUps = 0;

private:
    bool* destroyed_;
};

class EffectEditor : public ::testing::Test {
protected:
    ProbeEffect effect;
    RecordingEditor* editor = new RecordingEditor(&effect, nullptr);
    void SetUp() override { effect.setEditor(editor); }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return hostDispatch(effect.getAeffect(), opcode, index, value, ptr, opt);
    }
};

}  // namespace

TEST_F(EffectEditor, GetRectAnswersBeforeOpenAndKeepsItsRect) {
    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->right - rect->left, 623);
    EXPECT_EQ(rect->bottom - rect->top, 365);
    int window = 0;
    ASSERT_EQ(dispatch(effEditOpen, 0, 0, &window), 1);
    ERect* again = nullptr;
    dispatch(effEditGetRect, 0, 0, &again);
    EXPECT_EQ(again, rect);
}

TEST_F(EffectEditor, OpenIdleAndCloseReachTheEditor) {
    int window = 0;
    EXPECT_FALSE(editor->isOpen());
    dispatch(effEditIdle);
    EXPECT_EQ(editor->idleCount(), 0u);  // idle before open does nothing
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, &window), 1);
    EXPECT_TRUE(editor->isOpen());
    EXPECT_EQ(editor->parent(), &window);
    dispatch(effEditIdle);
    dispatch(effEditIdle);
    EXPECT_EQ(editor->idleCount(), 2u);
    dispatch(effEditClose);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(editor->parent(), nullptr);
}

TEST_F(EffectEditor, KeysArriveWithCharacterVirtualKeyAndModifiers) {
    EXPECT_EQ(dispatch(effEditKeyDown, 'u', VKEY_RETURN, nullptr, static_cast<float>(MODIFIER_CONTROL)), 1);
    EXPECT_EQ(editor->lastKey.character, 'u');
    EXPECT_EQ(editor->lastKey.virt, VKEY_RETURN);
    EXPECT_EQ(editor->lastKey.modifier, MODIFIER_CONTROL);
    EXPECT_EQ(dispatch(effEditKeyUp, 'u', 0), 0);
    EXPECT_EQ(editor->keyUps, 1);
    EXPECT_EQ(dispatch(effEditKeyDown, 'x'), 0);  // not used: the host keeps it
}

TEST_F(EffectEditor, OutOfRangeKeyArgumentsBecomeZero) {
    dispatch(effEditKeyDown, 65, 300, nullptr, NAN);
    EXPECT_EQ(editor->lastKey.virt, 0);
    EXPECT_EQ(editor->lastKey.modifier, 0);
    dispatch(effEditKeyDown, 65, -1, nullptr, 1.0e9f);
    EXPECT_EQ(editor->lastKey.virt, 0);
    EXPECT_EQ(editor->lastKey.modifier, 0);
}

TEST_F(EffectEditor, GetRectWithoutAPlaceToStoreIsRefused) {
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, nullptr), 0);
}

TEST(EffectWithoutEditor, EditorOpcodesAnswerZero) {
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    ERect* rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_EQ(hostDispatch(e, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1));
    int window = 0;
    for (VstInt32 op : {effEditOpen, effEditClose, effEditIdle, effEditKeyDown, effEditKeyUp}) {
        EXPECT_EQ(hostDispatch(e, op, 'a', 0, &window), 0) << op;
    }
    EXPECT_EQ(e->flags & effFlagsHasEditor, 0);
}

TEST(EffectEditorOwnership, SetEditorMarksTheRecordAndTheEffectDeletesIt) {
    bool firstGone = false;
    bool secondGone = false;
    {
        ProbeEffect effect;
        effect.setEditor(new RecordingEditor(&effect, &firstGone));
        EXPECT_NE(effect.getAeffect()->flags & effFlagsHasEditor, 0);
        effect.setEditor(nullptr);
        EXPECT_TRUE(firstGone);
        EXPECT_EQ(effect.getAeffect()->flags & effFlagsHasEditor, 0);
        effect.setEditor(new RecordingEditor(&effect, &secondGone));
        EXPECT_EQ(effect.getEditor()->getEffect(), &effect);
    }
    EXPECT_TRUE(secondGone);
}

TEST(GuiEditor, SizeIsClampedToTheRectsRange) {
    AEffGUIEditor editor(nullptr);
    editor.setSize(-5, 40000);
    EXPECT_EQ(editor.width(), 0);
    EXPECT_EQ(editor.height(), 32767);
    editor.setSize(623, 365);
    ERect* rect = nullptr;
    ASSERT_TRUE(editor.getRect(&rect));
    EXPECT_EQ(rect->right, 623);
    EXPECT_EQ(rect->bottom, 365);
    EXPECT_FALSE(editor.getRect(nullptr));
}
