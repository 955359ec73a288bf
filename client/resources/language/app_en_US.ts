<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>MainWindow</name>
    <message>
        <source>Orvane网络视频监控</source>
        <translation>Orvane Network Video Surveillance</translation>
    </message>
    <message>
        <source>控制面板</source>
        <translation>Control Panel</translation>
    </message>
    <message>
        <source>设备列表</source>
        <translation>Device List</translation>
    </message>
    <message>
        <source>云台控制</source>
        <translation>PTZ Control</translation>
    </message>
    <message>
        <source>码流信息</source>
        <translation>Stream Information</translation>
    </message>
    <message>
        <source>实时预览</source>
        <translation>Live View</translation>
    </message>
    <message>
        <source>远程回放</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>[未选择设备]</source>
        <translation>[No device selected]</translation>
    </message>
</context>
<context>
    <name>WindowLogin</name>
    <message>
        <source>Login</source>
        <translation>Login</translation>
    </message>
    <message>
        <source>Remember password</source>
        <translation>Remember password</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>中文(简体)</source>
        <translation>中文(简体)</translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <source>Local login</source>
        <translation>Local login</translation>
    </message>
    <message>
        <source>Sign up</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>Forgot password?</source>
        <translation>Forgot password?</translation>
    </message>
    <message>
        <source>Please enter the username.</source>
        <translation>Please enter the username.</translation>
    </message>
    <message>
        <source>Please enter the password.</source>
        <translation>Please enter the password.</translation>
    </message>
    <message>
        <source>The account service is not configured. Use the local login instead.</source>
        <translation>The account service is not configured. Use the local login instead.</translation>
    </message>
    <message>
        <source>Signing in, please wait...</source>
        <translation>Signing in, please wait...</translation>
    </message>
    <message>
        <source>Enter your username</source>
        <translation>Enter your username</translation>
    </message>
    <message>
        <source>Enter your password</source>
        <translation>Enter your password</translation>
    </message>
    <message>
        <source>Hide password</source>
        <translation>Hide password</translation>
    </message>
    <message>
        <source>Show password</source>
        <translation>Show password</translation>
    </message>
</context>
</TS>
