<?xml version="1.0" encoding="UTF-8"?>
<!--
  资源部专用: the page frame of every folder of a column site. Logo and
  banner at the top, the site's columns as a menu bar, the current column's
  navigation at the left, the folder's resources (innerxml.xsl) in the
  middle. The home page shows the placed columns left, right and at the foot.
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
            <xsl:otherwise><xsl:value-of select="concat(@subject, ' 栏目网站')"/></xsl:otherwise>
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
            <xsl:for-each select="node[string(@dir) != '']">
              <xsl:variable name="href"><xsl:call-template name="nav-href"/></xsl:variable>
              <a href="{$href}">
                <xsl:if test="@selected = 'true'"><xsl:attribute name="class">on</xsl:attribute></xsl:if>
                <xsl:value-of select="@name"/>
              </a>
            </xsl:for-each>
          </div>

          <div class="crumb" id="crumb">
            <span class="crumb-label">当前位置：</span>
            <xsl:apply-templates select="path"/>
          </div>

          <xsl:choose>
            <xsl:when test="$atHome">
              <div class="main home" id="main">
                <div class="hero">
                  <img class="hero-picture" src="{$filesPath}welcome.jpg" alt=""/>
                  <div class="hero-text">
                    <h1>欢迎访问<xsl:value-of select="@subject"/>栏目网站</h1>
                    <p>本站共有 <b><xsl:value-of select="selectNode/@pages"/></b> 个资源，
                      分为 <b><xsl:value-of select="count(node[string(@dir) != ''])"/></b> 个栏目。</p>
                    <p>点击栏目名称进入栏目，点击资源名称即可打开。</p>
                  </div>
                </div>
                <xsl:call-template name="welcome-page"/>
                <div class="content" id="content">
                  <xsl:for-each select="selectNode"><xsl:call-template name="folder-content"/></xsl:for-each>
                </div>
                <xsl:if test="node[string(@dir) = '']">
                  <h3 class="section-title">本站文件</h3>
                  <ul class="lines">
                    <xsl:for-each select="node[string(@dir) = '']">
                      <xsl:variable name="href"><xsl:call-template name="nav-href"/></xsl:variable>
                      <li><xsl:call-template name="kind"/><a href="{$href}" target="_blank"><xsl:value-of select="@name"/></a></li>
                    </xsl:for-each>
                  </ul>
                </xsl:if>
              </div>
            </xsl:when>
            <xsl:otherwise>
              <div class="body">
                <div class="side" id="side">
                  <xsl:for-each select="node[@selected = 'true']">
                    <xsl:variable name="href"><xsl:call-template name="nav-href"/></xsl:variable>
                    <h3 class="side-title"><xsl:call-template name="folder-icon"/><a href="{$href}"><xsl:value-of select="@name"/></a></h3>
                    <xsl:if test="node">
                      <ul class="tree"><xsl:apply-templates select="node" mode="nav"/></ul>
                    </xsl:if>
                  </xsl:for-each>
                  <div class="side-info">
                    <p>学科：<xsl:value-of select="@subject"/></p>
                    <p>本栏目资源：<xsl:value-of select="selectNode/@pages"/></p>
                  </div>
                </div>
                <div class="main" id="main">
                  <h1 class="title"><xsl:value-of select="selectNode/@name"/></h1>
                  <p class="summary">本栏目共有 <xsl:value-of select="selectNode/@pages"/> 个资源</p>
                  <xsl:call-template name="welcome-page"/>
                  <div class="content" id="content">
                    <xsl:for-each select="selectNode"><xsl:call-template name="folder-content"/></xsl:for-each>
                  </div>
                </div>
              </div>
            </xsl:otherwise>
          </xsl:choose>

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
    <xsl:variable name="label">
      <xsl:choose>
        <xsl:when test="not(parent::path)">首页</xsl:when>
        <xsl:otherwise><xsl:value-of select="@name"/></xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <xsl:choose>
      <xsl:when test="string(@compara-level) = '0'"><span class="here"><xsl:value-of select="$label"/></span></xsl:when>
      <xsl:otherwise><a href="{$href}"><xsl:value-of select="$label"/></a></xsl:otherwise>
    </xsl:choose>
    <xsl:apply-templates select="path"/>
  </xsl:template>

  <!-- A navigation entry: the path is open, and the branches beside it show their entries. -->
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
      <xsl:if test="node and string(@dir) != ''">
        <ul><xsl:apply-templates select="node" mode="nav"/></ul>
      </xsl:if>
    </li>
  </xsl:template>

</xsl:stylesheet>
