<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="ferryd-ap-name">
        <source>Android App Support</source>
        <translation>Android App Support</translation>
    </message>
    <message id="ferryd-install-success">
        <source>App installed</source>
        <translation>App installed</translation>
    </message>
    <message id="ferryd-install-failed">
        <source>App installation failed</source>
        <translation>App installation failed</translation>
    </message>
    <message id="ferryd-install-fail-incompat">
        <source>The app is not compatible with this device</source>
        <translation>The app is not compatible with this device</translation>
    </message>
    <message id="ferryd-install-fail-conflict">
        <source>The app conflicts with an app that is already installed</source>
        <translation>The app conflicts with an app that is already installed</translation>
    </message>
    <message id="ferryd-install-fail-invalid">
        <source>The app package is invalid or damaged</source>
        <translation>The app package is invalid or damaged</translation>
    </message>
    <message id="ferryd-install-fail-storage">
        <source>Not enough storage space to install the app</source>
        <translation>Not enough storage space to install the app</translation>
    </message>
    <message id="ferryd-install-fail-other">
        <source>The app could not be installed</source>
        <translation>The app could not be installed</translation>
    </message>
    <message id="Aborted">
        <source>Aborted</source>
        <translation>Aborted</translation>
    </message>
    <message id="ferryd-uninstall-success">
        <source>App removed</source>
        <translation>App removed</translation>
    </message>
    <message id="ferryd-uninstall-failed">
        <source>App removal failed</source>
        <translation>App removal failed</translation>
    </message>
    <message id="ferryd-app_installation_disallowed">
        <source>Installing apps is not allowed on this device</source>
        <translation>Installing apps is not allowed on this device</translation>
    </message>
    <message id="ferryd-app_uninstallation_disallowed">
        <source>Removing apps is not allowed on this device</source>
        <translation>Removing apps is not allowed on this device</translation>
    </message>
    <message id="ferryd-launch_novum_to_start_android_app">
        <source>Starting Android App Support to open %1</source>
        <translation>Starting Android App Support to open %1</translation>
    </message>
</context>
</TS>
