<?xml version="1.0" encoding="UTF-8"?>
<!--
  简洁风格: the page frame of every folder of the site. Logo and banner at the
  top, the site's columns as a menu bar, the current column's own navigation
  at the left, the folder's resources (innerxml.xsl) in the middle.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:include href="innerxml.xsl"/>

  <xsl:output method="html" encoding="GBK" doctype-system="about:legacy-compat" indent="no"/>

  <xsl:template match="/">
    <xsl:apply-templates select="subjectResource"/>
  </xsl:template>

  <xsl:template match="subjectResource">
    <xsl:variable name="atHome" select="string(selectNode/@level) = '0'"/>
    <html>
      <head>
        <title>
          <xsl:choose>
            <xsl:when test="string(@title) != ''"><xsl:value-of select="concat(@title, ' - ', @subject)"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="concat(@subject, ' 主题资源')"/></xsl:otherwise>
          </xsl:choose>
        </title>
        <link rel="stylesheet" type="text/css" href="{$filesPath}startxml.css"/>
      </head>
      <body>
        <div class="page">
          <div class="header">
            <img class="logo" src="{$filesPath}logo.gif" alt="标志"/>
            <div class="banner-box">
              <img class="banner" src="{$filesPath}banner.gif" alt=""/>
              <span class="subject"><xsl:value-of select="@subject"/></span>
            </div>
          </div>

          <div class="menu" id="menu">
            <a href="{$stylePath}startxml.xml">
              <xsl:if test="$atHome"><xsl:attribute name="class">on</xsl:attribute></xsl:if>
              <xsl:text>首页</xsl:text>
            </a>
            <xsl:for-each select="node">
              <xsl:variable name="href"><xsl:call-template name="nav-href"/></xsl:variable>
              <a href="{$href}">
                <xsl:if test="@selected = 'true'"><xsl:attribute name="class">on</xsl:attribute></xsl:if>
                <xsl:if test="string(@dir) = ''"><xsl:attribute name="target">_blank</xsl:attribute></xsl:if>
                <xsl:value-of select="@name"/>
              </a>
            </xsl:for-each>
          </div>

          <div class="crumb" id="crumb">
            <span class="crumb-label">当前位置：</span>
            <xsl:apply-templates select="path"/>
            <xsl:if test="not($atHome)">
              <a class="up" href="../startxml.xml">返回上一级</a>
            </xsl:if>
          </div>

          <div class="body">
            <div class="side" id="side">
              <xsl:choose>
                <xsl:when test="node[@selected = 'true']">
                  <xsl:for-each select="node[@selected = 'true']">
                    <xsl:variable name="href"><xsl:call-template name="nav-href"/></xsl:variable>
                    <h3 class="side-title"><a href="{$href}"><xsl:value-of select="@name"/></a></h3>
                    <xsl:if test="node">
                      <ul class="tree"><xsl:apply-templates select="node" mode="nav"/></ul>
                    </xsl:if>
                  </xsl:for-each>
                </xsl:when>
                <xsl:otherwise>
                  <h3 class="side-title">栏目导航</h3>
                  <ul class="tree"><xsl:apply-templates select="node" mode="nav"/></ul>
                </xsl:otherwise>
              </xsl:choose>
              <div class="side-info">
                <p>学科：<xsl:value-of select="@subject"/></p>
                <p>资源总数：<xsl:value-of select="selectNode/@pages"/></p>
              </div>
            </div>

            <div class="main" id="main">
              <xsl:choose>
                <xsl:when test="$atHome">
                  <div class="hero">
                    <img class="hero-picture" src="{$filesPath}welcome.gif" alt=""/>
                    <div class="hero-text">
                      <h1>欢迎使用<xsl:value-of select="@subject"/>主题资源</h1>
                      <p>本主题资源共有 <b><xsl:value-of select="selectNode/@pages"/></b> 个资源，
                        分为 <b><xsl:value-of select="count(selectNode/subNode[string(@dir) != ''])"/></b> 个栏目。</p>
                      <p>请点击上方或左侧的栏目名称开始浏览，点击资源名称即可打开。</p>
                    </div>
                  </div>
                  <div class="content" id="content">
                    <xsl:for-each select="selectNode"><xsl:call-template name="folder-content"/></xsl:for-each>
                  </div>
                  <xsl:if test="string(@welcome) != ''">
                    <h3 class="section-title">欢迎辞</h3>
                    <xsl:call-template name="welcome-page"/>
                  </xsl:if>
                </xsl:when>
                <xsl:otherwise>
                  <h1 class="title"><xsl:value-of select="@title"/></h1>
                  <p class="summary">本栏目共有 <xsl:value-of select="selectNode/@pages"/> 个资源</p>
                  <xsl:call-template name="welcome-page"/>
                  <div class="content" id="content">
                    <xsl:for-each select="selectNode"><xsl:call-template name="folder-content"/></xsl:for-each>
                  </div>
                </xsl:otherwise>
              </xsl:choose>
            </div>
          </div>

          <div class="foot">
            <p><xsl:value-of select="@foot"/></p>
          </div>
        </div>
      </body>
    </html>
  </xsl:template>

  <!-- The breadcrumb: the site folder, then one step per folder down to this one. -->
  <xsl:template match="path">
    <xsl:variable name="href"><xsl:call-template name="path-href"/></xsl:variable>
    <xsl:if test="parent::path"><span class="sep">&#8250;</span></xsl:if>
    <xsl:choose>
      <xsl:when test="string(@compara-level) = '0'">
        <span class="here">
          <xsl:choose>
            <xsl:when test="string(@name) = '' and not(parent::path)">首页</xsl:when>
            <xsl:otherwise><xsl:value-of select="@name"/></xsl:otherwise>
          </xsl:choose>
        </span>
      </xsl:when>
      <xsl:otherwise>
        <a href="{$href}">
          <xsl:choose>
            <xsl:when test="not(parent::path)">首页</xsl:when>
            <xsl:otherwise><xsl:value-of select="@name"/></xsl:otherwise>
          </xsl:choose>
        </a>
      </xsl:otherwise>
    </xsl:choose>
    <xsl:apply-templates select="path"/>
  </xsl:template>

  <!-- A navigation entry, opened along the way to the current folder. -->
  <xsl:template match="node" mode="nav">
    <xsl:variable name="href"><xsl:call-template name="nav-href"/></xsl:variable>
    <li>
      <xsl:attribute name="class">
        <xsl:choose>
          <xsl:when test="string(@dir) = ''">nav-file</xsl:when>
          <xsl:otherwise>nav-folder</xsl:otherwise>
        </xsl:choose>
        <xsl:if test="@selected = 'true'"> open</xsl:if>
        <xsl:if test="@selected = 'true' and string(@compara-level) = '0'"> current</xsl:if>
      </xsl:attribute>
      <a href="{$href}">
        <xsl:if test="string(@dir) = ''"><xsl:attribute name="target">_blank</xsl:attribute></xsl:if>
        <xsl:value-of select="@name"/>
      </a>
      <xsl:if test="node">
        <ul><xsl:apply-templates select="node" mode="nav"/></ul>
      </xsl:if>
    </li>
  </xsl:template>

</xsl:stylesheet>
