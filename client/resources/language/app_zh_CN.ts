<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Orvane网络视频监控</source>
        <translation>Orvane网络视频监控</translation>
    </message>
    <message>
        <source>控制面板</source>
        <translation>控制面板</translation>
    </message>
    <message>
        <source>设备列表</source>
        <translation>设备列表</translation>
    </message>
    <message>
        <source>云台控制</source>
        <translation>云台控制</translation>
    </message>
    <message>
        <source>码流信息</source>
        <translation>码流信息</translation>
    </message>
    <message>
        <source>实时预览</source>
        <translation>实时预览</translation>
    </message>
    <message>
        <source>远程回放</source>
        <translation>远程回放</translation>
    </message>
    <message>
        <source>[未选择设备]</source>
        <translation>[未选择设备]</translation>
    </message>
</context>
<context>
    <name>WindowLogin</name>
    <message>
        <source>Login</source>
        <translation>登录</translation>
    </message>
    <message>
        <source>Remember password</source>
        <translation>记住密码</translation>
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
        <translation>登 录</translation>
    </message>
    <message>
        <source>Local login</source>
        <translation>本地登录</translation>
    </message>
    <message>
        <source>Sign up</source>
        <translation>注册账号</translation>
    </message>
    <message>
        <source>Forgot password?</source>
        <translation>忘记密码？</translation>
    </message>
    <message>
        <source>Please enter the username.</source>
        <translation>请输入用户名。</translation>
    </message>
    <message>
        <source>Please enter the password.</source>
        <translation>请输入密码。</translation>
    </message>
    <message>
        <source>The account service is not configured. Use the local login instead.</source>
        <translation>未配置账号服务，请使用本地登录。</translation>
    </message>
    <message>
        <source>Signing in, please wait...</source>
        <translation>正在登录，请稍候...</translation>
    </message>
    <message>
        <source>Enter your username</source>
        <translation>请输入用户名</translation>
    </message>
    <message>
        <source>Enter your password</source>
        <translation>请输入密码</translation>
    </message>
    <message>
        <source>Hide password</source>
        <translation>隐藏密码</translation>
    </message>
    <message>
        <source>Show password</source>
        <translation>显示密码</translation>
    </message>
</context>
</TS>
