#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "ControlFixture.h"
#include "RecordingSink.h"
#include "engine/Kernel.h"

TEST(Lifecycle, NewControlHasItsDefaultsAndNoImage) {
    auto control = NewControl();
    LONG mode = 99;
    VARIANT_BOOL flag = 0;
    ULONG handle = 7;
    LONG bits = 0;
    EXPECT_EQ(control->get_PAINTSIZEMODE(&mode), S_OK);
    EXPECT_EQ(mode, PAINTSIZEMODE_NORMAL);
    control->get_AutoSetRects(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    control->get_BackErase(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    control->get_AutoRepaint(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    control->get_Bitmap(&handle);
    EXPECT_EQ(handle, 0u);
    control->get_BitmapBits(&bits);
    EXPECT_EQ(bits, -1);
    EXPECT_FALSE(Impl(control).ImagePresent());
    EXPECT_EQ(Impl(control).CurrentBitmap.uStructSize, BITMAPHANDLE_STRUCT_SIZE);
}

TEST(Lifecycle, InitializeAndDestroyWriteTheirLogLinesInOrder) {
    CapturedLog log;
    {
        auto control = NewControl();
        LONG value = 0;
        control->CreateBitmap(8, 8, 8, 2, &value);
    }
    const std::vector<std::string> expected = {
        "axLumora.Initialize (DLL Mode), Begin #1\r\n",
        "axLumora.Initialize, L_InitBitmap:1\r\n",
        "axLumora.Initialize, End\r\n",
        "TaxLumora.Destroy, Start\r\n",
        "TaxLumora.Destroy, End\r\n",
    };
    EXPECT_EQ(log.lines(), expected);
}

TEST(Lifecycle, DestroyFreesTheImageBeforeFiringOnDestroy) {
    RecordingSink sink;
    std::optional<bool> imagePresentWhenFired;
    {
        auto control = NewControl();
        LONG value = 0;
        control->CreateBitmap(16, 16, 16, 2, &value);
        ASSERT_EQ(value, 0);
        TaxLumora* impl = &Impl(control);
        sink.onEvent = [&](DISPID dispid) {
            if (dispid == DISPID_OnDestroy) imagePresentWhenFired = impl->ImagePresent();
        };
        // The connection is still in place when the last reference goes.
        ComPtr<IConnectionPointContainer> container;
        control->QueryInterface(IID_IConnectionPointContainer, container.put_void());
        ComPtr<IConnectionPoint> point;
        container->FindConnectionPoint(DIID_IaxLumoraEvents, point.put());
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    }
    ASSERT_FALSE(sink.events.empty());
    EXPECT_EQ(sink.events.back().dispid, DISPID_OnDestroy);
    ASSERT_TRUE(imagePresentWhenFired.has_value());
    EXPECT_FALSE(*imagePresentWhenFired);
    EXPECT_EQ(sink.refs, 1u);  // the control released the sink when it went away
}

TEST(Events, OnLogReachesAConnectedSinkOnly) {
    auto control = NewControl();
    RecordingSink sink;
    Impl(control).FireOnLog("TaxLumora.OptimizeBuffer, Range : 1 - 2");  // no sink: nothing
    {
        Connection connection(control.get(), &sink);
        ASSERT_EQ(connection.result(), S_OK);
        Impl(control).FireOnLog("TaxLumora.OptimizeBuffer, Range : 1 - 2");
    }
    Impl(control).FireOnLog("after disconnect");
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].dispid, DISPID_OnLog);
    EXPECT_EQ(sink.events[0].args,
              std::vector<std::string>{"TaxLumora.OptimizeBuffer, Range : 1 - 2"});
    EXPECT_EQ(sink.refs, 1u);
}

TEST(Events, ASinkWithoutTheEventsInterfaceIsRefused) {
    auto control = NewControl();
    RecordingSink sink(/*speaksEvents=*/false);
    Connection connection(control.get(), &sink);
    EXPECT_TRUE(FAILED(connection.result()));
    Impl(control).FireOnLog("nobody listens");
    EXPECT_TRUE(sink.events.empty());
    EXPECT_FALSE(Impl(control).EventSink);
}

TEST(Events, AnErrorFromTheHostsHandlerReachesTheFiringMember) {
    auto control = NewControl();
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    sink.failWith = E_ACCESSDENIED;
    try {
        Impl(control).FireOnLog("x");
        FAIL() << "expected the handler's error";
    } catch (const ComError& e) {
        EXPECT_EQ(e.code(), E_ACCESSDENIED);
        EXPECT_STREQ(e.what(), "handler failed");
    }
}

TEST(ClassFactory, RefusesAggregationAndUnknownClasses) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(CLASS_axLumora, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<IUnknown> outer;
    void* object = nullptr;
    RecordingSink fakeOuter;
    EXPECT_EQ(factory->CreateInstance(&fakeOuter, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, DIID_IaxLumoraEvents, &object), E_NOINTERFACE);
    EXPECT_EQ(DllGetClassObject(IID_IDispatch, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
}

TEST(ClassFactory, ModuleCanUnloadOnlyWhenNothingIsAlive) {
    {
        auto control = NewControl();
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}
