<?xml version="1.0" encoding="UTF-8"?>
<!--
  课堂风格: the page frame of every folder of the site. A wide banner with the
  logo on it, the whole site's navigation as a blackboard at the left, the
  folder's name on a small board above its resources (innerxml.xsl).
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
        <div class="header">
          <img class="banner" src="{$filesPath}banner.gif" alt=""/>
          <a class="logo-card" href="{$stylePath}startxml.xml"><img class="logo" src="{$filesPath}logo.gif" alt="标志"/></a>
          <span class="subject"><xsl:value-of select="@subject"/></span>
        </div>

        <div class="layout">
          <div class="board-nav" id="menu">
            <h3>资源目录</h3>
            <ul class="tree">
              <li>
                <xsl:attribute name="class">nav-home<xsl:if test="$atHome"> current</xsl:if></xsl:attribute>
                <a href="{$stylePath}startxml.xml">首页</a>
              </li>
              <xsl:apply-templates select="node" mode="nav"/>
            </ul>
            <p class="board-count">共 <xsl:value-of select="count(node[string(@dir) != ''])"/> 个栏目</p>
          </div>

          <div class="desk">
            <div class="crumb" id="crumb">
              <xsl:apply-templates select="path"/>
              <xsl:if test="not($atHome)">
                <a class="up" href="../startxml.xml">返回上一级</a>
              </xsl:if>
            </div>

            <div class="title-board">
              <h1>
                <xsl:choose>
                  <xsl:when test="$atHome"><xsl:value-of select="@subject"/> 主题资源</xsl:when>
                  <xsl:otherwise><xsl:value-of select="@title"/></xsl:otherwise>
                </xsl:choose>
              </h1>
              <p>
                <xsl:choose>
                  <xsl:when test="$atHome">欢迎同学们！本资源共有 <xsl:value-of select="selectNode/@pages"/> 个资源，请从左边的目录开始学习。</xsl:when>
                  <xsl:otherwise>本栏目共有 <xsl:value-of select="selectNode/@pages"/> 个资源</xsl:otherwise>
                </xsl:choose>
              </p>
            </div>

            <xsl:if test="$atHome">
              <!-- the folder's own welcome page greets first; without one, the welcome picture -->
              <xsl:choose>
                <xsl:when test="string(@welcome) != ''"><xsl:call-template name="welcome-page"/></xsl:when>
                <xsl:otherwise>
                  <div class="welcome-box"><img class="welcome-picture" src="{$filesPath}welcome.gif" alt=""/></div>
                </xsl:otherwise>
              </xsl:choose>
            </xsl:if>
            <xsl:if test="not($atHome)">
              <xsl:call-template name="welcome-page"/>
            </xsl:if>

            <div class="content" id="content">
              <xsl:for-each select="selectNode"><xsl:call-template name="folder-content"/></xsl:for-each>
            </div>
          </div>
        </div>

        <div class="foot">
          <p><xsl:value-of select="@foot"/></p>
          <p class="foot-subject"><xsl:value-of select="@subject"/></p>
        </div>
      </body>
    </html>
  </xsl:template>

  <!-- The breadcrumb: the site folder, then one step per folder down to this one. -->
  <xsl:template match="path">
    <xsl:variable name="href"><xsl:call-template name="path-href"/></xsl:variable>
    <xsl:if test="parent::path"><span class="sep">/</span></xsl:if>
    <xsl:choose>
      <xsl:when test="string(@compara-level) = '0'">
        <span class="here">
          <xsl:choose>
            <xsl:when test="not(parent::path)">首页</xsl:when>
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
